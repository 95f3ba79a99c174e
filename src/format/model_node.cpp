#include "format/model_node.h"

#include <algorithm>
#include <atomic>

namespace ovra {

namespace {

// Shared by every model of the process; parses of several models may run on
// different workers at once.
std::atomic<int32_t> nodeIdCounter{0};

}  // namespace

const std::string& LevelFileName(const ModelNodeLevel& level, int slot) {
  static const std::string kNone;
  switch (slot) {
    case kSlotGeometry: return level.geometry;
    case kSlotColorMap: return level.colorMap;
    case kSlotColorMapAlpha: return level.colorMapAlpha;
    case kSlotNormalMap: return level.normalMap;
    case kSlotMetRoughMap: return level.metRoughMap;
    case kSlotOcclusionMap: return level.occlusionMap;
    case kSlotEmissiveMap: return level.emissiveMap;
    case kSlotLightMap: return level.lightMap;
    default: return kNone;
  }
}

std::unique_ptr<ModelNode> CreateModelNode(detail::ModelPimpl* model) {
  auto node = std::make_unique<ModelNode>();
  node->model = model;
  node->id = nodeIdCounter.fetch_add(1, std::memory_order_relaxed) + 1;
  return node;
}

void RecordLevelTriangles(ModelNode& node) {
  node.levelTriangles = {};
  const size_t count = std::min(node.levels.size(), kMaxStreamedLevels);
  for (size_t level = 0; level < count; ++level) {
    node.levelTriangles[level] = static_cast<int32_t>(node.levels[level].triangleCount);
  }
}

}  // namespace ovra
