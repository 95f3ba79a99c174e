#pragma once

#include "format/model_node.h"
#include "ovra/records.h"

namespace ovra {

// The world box of the streamed scene. It starts as the origin, so the merged
// box always contains it.
struct WorldBounds {
  float minX = 0.0f;
  float maxX = 0.0f;
  float minY = 0.0f;
  float maxY = 0.0f;
  float minZ = 0.0f;
  float maxZ = 0.0f;

  // Grows the box by `root`'s box placed at `offset`.
  void Merge(const ModelNode& root, const Vec3& offset);
};

// Share of the screen the scene's bounding sphere covers, in units where the
// whole screen is about 1; infinite with the camera inside the sphere.
float ScreenCoverage(const WorldBounds& bounds, const EnvironmentInfo& environment);

}  // namespace ovra
