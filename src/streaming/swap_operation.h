#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "format/model_node.h"
#include "tasks/downloader.h"
#include "tasks/task.h"

namespace ovra {

enum class SwapKind : int32_t { Refine = 0, Coarsen = 1, SwitchLevel = 2 };

// A level of a node; level -1 stands for "no level of this node".
struct NodeLevel {
  ModelNode* node = nullptr;
  int32_t level = -1;
  bool operator==(const NodeLevel&) const = default;
};

// One change of the shown set: the `from` pairs are hidden once every `to`
// pair is shown. All nodes belong to one model.
struct SwapOperation {
  std::vector<NodeLevel> from;
  std::vector<NodeLevel> to;
  SwapKind kind = SwapKind::Refine;
  int64_t triangles = 0;  // of the `to` levels
  double meanDistance = 0.0;
};

// Locks the `from` nodes and builds the tasks that load every `to` level
// through `group` and hand it to the model's renderer under one operation id.
// The host's onShown callback then hides the `from` meshes and unlocks.
// Pairs naming a level the node does not have are not loaded. Returns the
// task that finishes once every mesh is delivered. Host thread only.
std::shared_ptr<Task<int>> BuildSwapTask(const SwapOperation& operation, DownloadGroup* group);

}  // namespace ovra
