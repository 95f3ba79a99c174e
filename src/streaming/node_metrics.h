#pragma once

#include <cstdint>

#include "format/model_node.h"
#include "ovra/records.h"

namespace ovra {

// Triangles of `level` of `node`; 0 for a level the node does not have.
int32_t Triangles(const ModelNode& node, int level);

// Levels with triangles are "available". Both return -1 when there is none.
int CoarsestAvailableLevel(const ModelNode& node);
int NextFinerAvailableLevel(const ModelNode& node, int level);

// Distance from `point` to the nearest point of the node's box; 0 inside.
float DistanceToBox(const ModelNode& node, const Vec3& point);

// Distance from the model's camera to the node: to its box centre when
// `useCenterDistance` holds, else to its box.
float NodeDistance(const ModelNode& node, bool useCenterDistance);

// Distance from the model's camera to the node's box.
float BoxDistance(const ModelNode& node);

// Refinement priority of showing `level` of `node`: distance^exponent times
// triangle density over the model's density scale. Smaller is refined first.
double Priority(const ModelNode& node, int level, float exponent, bool useCenterDistance);

}  // namespace ovra
