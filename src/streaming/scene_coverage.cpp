#include "streaming/scene_coverage.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace ovra {

void WorldBounds::Merge(const ModelNode& root, const Vec3& offset) {
  minX = std::min(minX, root.minX + offset.x);
  maxX = std::max(maxX, root.maxX + offset.x);
  minY = std::min(minY, root.minY + offset.y);
  maxY = std::max(maxY, root.maxY + offset.y);
  minZ = std::min(minZ, root.minZ + offset.z);
  maxZ = std::max(maxZ, root.maxZ + offset.z);
}

float ScreenCoverage(const WorldBounds& bounds, const EnvironmentInfo& environment) {
  auto offCenter = [](float low, float high, float camera) {
    return static_cast<double>(camera) - static_cast<double>((low + high) * 0.5f);
  };
  const double dx = offCenter(bounds.minX, bounds.maxX, environment.cameraPosition.x);
  const double dy = offCenter(bounds.minY, bounds.maxY, environment.cameraPosition.y);
  const double dz = offCenter(bounds.minZ, bounds.maxZ, environment.cameraPosition.z);
  const auto distance = static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
  const float ex = bounds.maxX - bounds.minX;
  const float ey = bounds.maxY - bounds.minY;
  const float ez = bounds.maxZ - bounds.minZ;
  const float radius = 0.5f * std::sqrt(ex * ex + ey * ey + ez * ez);

  float apparentRadius = std::numeric_limits<float>::max();
  if (!(radius > distance)) {
    const double halfAngle = static_cast<double>(0.5f * environment.verticalFieldOfView) * std::numbers::pi / 180.0;
    const double tangentDistance =
        std::sqrt(static_cast<double>(distance) * distance - static_cast<double>(radius) * radius);
    apparentRadius = static_cast<float>(1.0 / std::tan(halfAngle) * radius / tangentDistance * 0.5);
  }
  const double squared = static_cast<double>(apparentRadius) * apparentRadius;
  return static_cast<float>(squared * std::numbers::pi / environment.aspectRatio);
}

}  // namespace ovra
