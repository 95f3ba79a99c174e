#include "streaming/swap_operation.h"

#include "content/owned_mesh.h"
#include "ovra/logging.h"
#include "streaming/model_pimpl.h"
#include "streaming/node_content_loading.h"
#include "streaming/node_lock.h"
#include "streaming/operation_ids.h"

namespace ovra {

namespace {

// What every mesh of one operation shares. Held by its per-node tasks and by
// every copy of its onShown callback, so a late or repeated call is safe.
struct SwapState {
  SwapOperation operation;
  int32_t operationId = -1;
  std::vector<int> meshIds;  // of the loaded `to` pairs, in order
  std::weak_ptr<const void> modelLifetime;
  bool shown = false;
};

bool IsLoadable(const NodeLevel& pair) {
  return pair.level >= 0 && static_cast<size_t>(pair.level) < pair.node->levels.size();
}

void HideShownLevel(ModelNode& node, int level, IMeshRenderer& renderer) {
  if (level == -1 || node.shownLevel == -1) return;
  renderer.RemoveMesh(MeshId(node, level));
}

// A coarsened node's children may have been refined themselves; their meshes
// would otherwise stay under the new coarse one.
void HideShownDescendants(ModelNode& node, IMeshRenderer& renderer) {
  for (const auto& child : node.children) {
    ForEachNode(*child, [&renderer](ModelNode& descendant) {
      HideShownLevel(descendant, descendant.shownLevel, renderer);
      descendant.shownLevel = -1;
    });
  }
}

void HideReplaced(const SwapOperation& operation) {
  for (const NodeLevel& pair : operation.from) {
    ModelNode& node = *pair.node;
    IMeshRenderer& renderer = *node.context->renderer;
    HideShownLevel(node, pair.level, renderer);
    if (pair.level != -1 && operation.kind != SwapKind::SwitchLevel) node.shownLevel = -1;
    if (operation.kind == SwapKind::Coarsen) HideShownDescendants(node, renderer);
    Unlock(node);
  }
}

void OnShown(SwapState& state) {
  if (state.shown) {
    Log::Warning("onShown was called again for the same swap operation; the call is ignored.");
    return;
  }
  state.shown = true;
  if (!state.modelLifetime.expired()) HideReplaced(state.operation);
  OperationIds().Release(state.operationId);
}

int ShowNodeLevel(const std::shared_ptr<SwapState>& state, const NodeLevel& pair, const ConstTaskList& dependencies) {
  const std::unique_ptr<Mesh> mesh = BuildRenderMesh(UnpackResult<OwnedMesh>(dependencies, 0));
  ModelNode& node = *pair.node;
  node.shownLevel = pair.level;
  node.context->renderer->AddMesh(*mesh, MeshId(node, pair.level), state->operationId, state->meshIds.data(),
                                  state->meshIds.size(), VisualizationInfo{}, [state] { OnShown(*state); });
  return 0;
}

std::shared_ptr<SwapState> StartOperation(const SwapOperation& operation) {
  auto state = std::make_shared<SwapState>();
  state->operation = operation;
  state->operationId = OperationIds().Acquire();
  for (const NodeLevel& pair : operation.to) {
    if (IsLoadable(pair)) state->meshIds.push_back(MeshId(*pair.node, pair.level));
  }
  if (!operation.to.empty()) state->modelLifetime = operation.to.front().node->model->Lifetime();
  for (const NodeLevel& pair : operation.from) Lock(*pair.node);
  return state;
}

}  // namespace

std::shared_ptr<Task<int>> BuildSwapTask(const SwapOperation& operation, DownloadGroup* group) {
  const std::shared_ptr<SwapState> state = StartOperation(operation);
  TaskList shows;
  for (const NodeLevel& pair : operation.to) {
    if (!IsLoadable(pair)) continue;
    auto show = MakeTask<int>(
        [state, pair](const ConstTaskList& dependencies) { return ShowNodeLevel(state, pair, dependencies); },
        ExecutionMode::Inline);
    show->AddDependency(CreateNodeContentTask(*pair.node, pair.level, group));
    shows.push_back(std::move(show));
  }
  auto swap = MakeTask<int>([](const ConstTaskList&) { return 0; }, ExecutionMode::Inline);
  swap->AddDependencies(shows);
  return swap;
}

}  // namespace ovra
