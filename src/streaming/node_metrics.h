#pragma once

#include <array>
#include <cstdint>

#include "format/model_node.h"
#include "format/node_document.h"
#include "ovra/records.h"

namespace ovra {

// The triangle counts of a node's levels, as the model recorded them when it
// adopted the tree. Trees hold at most kMaxStreamedLevels levels per node
// (the parser keeps no more).
class LevelTriangles {
 public:
  explicit LevelTriangles(const ModelNode& node);

  // 0 for a level the node does not have.
  int32_t At(int level) const;
  // Levels with triangles are "available". Both return -1 when there is none.
  int Coarsest() const { return NextFiner(count_); }
  int NextFiner(int level) const;

 private:
  std::array<int32_t, kMaxStreamedLevels> counts_{};
  int count_ = 0;
};

// Triangles of `level` of `node`; 0 for a level the node does not have.
inline int32_t Triangles(const ModelNode& node, int level) { return LevelTriangles(node).At(level); }

// Distance from `point` to the nearest point of the node's box; 0 inside.
float DistanceToBox(const ModelNode& node, const Vec3& point);

// Distance from the model's camera to the node: to its box centre when
// `useCenterDistance` holds, else to its box.
float NodeDistance(const ModelNode& node, bool useCenterDistance);

// Distance from the model's camera to the node's box.
float BoxDistance(const ModelNode& node);

// distance^exponent: the part of a node's refinement priority that is the
// same for all its levels.
double DistanceWeight(const ModelNode& node, float exponent, bool useCenterDistance);

// Refinement priority of showing a level of `node` with `triangles`
// triangles: the node's distance weight times triangle density over the
// model's density scale. Smaller is refined first.
double Priority(const ModelNode& node, int32_t triangles, double distanceWeight);

}  // namespace ovra
