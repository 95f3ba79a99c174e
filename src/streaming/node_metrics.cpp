#include "streaming/node_metrics.h"

#include <algorithm>
#include <cmath>

#include "streaming/model_pimpl.h"

namespace ovra {

namespace {

const Vec3& CameraOf(const ModelNode& node) { return node.context->localCameraPosition; }

float CenterDistance(const ModelNode& node, const Vec3& camera) {
  auto axis = [](float low, float high, float c) { return static_cast<double>((low + high) * 0.5f) - c; };
  const double dx = axis(node.minX, node.maxX, camera.x);
  const double dy = axis(node.minY, node.maxY, camera.y);
  const double dz = axis(node.minZ, node.maxZ, camera.z);
  return static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
}

}  // namespace

LevelTriangles::LevelTriangles(const ModelNode& node)
    : counts_(node.levelTriangles), count_(static_cast<int>(std::min(node.levels.size(), kMaxStreamedLevels))) {}

int32_t LevelTriangles::At(int level) const {
  return level >= 0 && level < count_ ? counts_[static_cast<size_t>(level)] : 0;
}

int LevelTriangles::NextFiner(int level) const {
  for (int finer = std::min(level, count_) - 1; finer >= 0; --finer) {
    if (counts_[static_cast<size_t>(finer)] != 0) return finer;
  }
  return -1;
}

float DistanceToBox(const ModelNode& node, const Vec3& point) {
  auto axis = [](float low, float high, float c) { return c < low ? low - c : (c > high ? c - high : 0.0f); };
  const float dx = axis(node.minX, node.maxX, point.x);
  const float dy = axis(node.minY, node.maxY, point.y);
  const float dz = axis(node.minZ, node.maxZ, point.z);
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

float NodeDistance(const ModelNode& node, bool useCenterDistance) {
  return useCenterDistance ? CenterDistance(node, CameraOf(node)) : DistanceToBox(node, CameraOf(node));
}

float BoxDistance(const ModelNode& node) { return DistanceToBox(node, CameraOf(node)); }

double DistanceWeight(const ModelNode& node, float exponent, bool useCenterDistance) {
  const auto distance = static_cast<double>(NodeDistance(node, useCenterDistance));
  // The usual exponents, for which pow's result is exact (1 for any base,
  // the base itself): the same values without the call.
  if (exponent == 0.0f) return 1.0;
  if (exponent == 1.0f) return distance;
  return std::pow(distance, static_cast<double>(exponent));
}

double Priority(const ModelNode& node, int32_t triangles, double distanceWeight) {
  const float density = static_cast<float>(triangles) / node.surfaceArea;
  return distanceWeight * (static_cast<double>(density) / static_cast<double>(node.model->densityScale));
}

}  // namespace ovra
