#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ovra/mesh_id.h"

namespace ovra {

// Mesh ids are level + 4 * node id, so a fifth level would take the id of
// the next node's first level: levels beyond the fourth are not kept.
inline constexpr size_t kMaxStreamedLevels = kLevelsPerNode;

namespace detail {
class ModelPimpl;
struct ModelContext;
}  // namespace detail

// One level of detail of a node. Empty names mean "no such file".
struct ModelNodeLevel {
  std::string geometry;
  std::string material;
  std::string colorMap;
  std::string colorMapAlpha;
  std::string emissiveMap;
  std::string metRoughMap;
  std::string normalMap;
  std::string occlusionMap;
  std::string lightMap;
  int64_t triangleCount = 0;
};

// Content slots of a level, as content loading addresses its files.
enum LevelSlot : int {
  kSlotGeometry = 0,
  kSlotColorMap = 1,
  kSlotColorMapAlpha = 2,
  kSlotNormalMap = 3,
  kSlotMetRoughMap = 4,
  kSlotOcclusionMap = 5,
  kSlotEmissiveMap = 6,
  kSlotLightMap = 7,
};

// The file name in `slot`; empty for a slot outside 0 to 7.
const std::string& LevelFileName(const ModelNodeLevel& level, int slot);

// One node of the level-of-detail tree. Each node owns its children.
struct ModelNode {
  // Level whose mesh is shown now, -1 for none.
  int32_t shownLevel = -1;
  float surfaceArea = 1.0f;
  float minX = 0.0f;
  float maxX = 0.0f;
  float minY = 0.0f;
  float maxY = 0.0f;
  float minZ = 0.0f;
  float maxZ = 0.0f;
  // The triangle counts of `levels`, copied by RecordLevelTriangles: the
  // selection reads them for every node it visits, and beside the box they
  // cost no extra cache line, where each level record is a line of its own.
  std::array<int32_t, kMaxStreamedLevels> levelTriangles{};
  detail::ModelPimpl* model = nullptr;
  std::vector<ModelNodeLevel> levels;  // level 0 is the finest
  uint32_t depth = 0;
  ModelNode* parent = nullptr;
  std::vector<std::unique_ptr<ModelNode>> children;
  // Set on every node when the model adopts the tree.
  detail::ModelContext* context = nullptr;
  uint32_t lockCount = 0;
  bool locked = false;
  // From the process-wide node counter; the first node of the process is 1.
  int32_t id = 0;
};

// A node with a fresh id from the process-wide counter.
std::unique_ptr<ModelNode> CreateModelNode(detail::ModelPimpl* model);

// Copies the triangle counts of the node's first kMaxStreamedLevels levels
// into `levelTriangles`; done for every node when a model adopts its tree.
void RecordLevelTriangles(ModelNode& node);

// Calls `visit` on `root` and every descendant, parents before children, in
// child order. Iterative, so any tree depth is safe.
template <typename Node, typename Visit>
void ForEachNode(Node& root, Visit&& visit) {
  std::vector<Node*> pending{&root};
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    visit(*node);
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
      pending.push_back(it->get());
    }
  }
}

}  // namespace ovra
