#include "streaming/stream_controller_pimpl.h"

#include <algorithm>
#include <chrono>

#include "streaming/cut_diff.h"
#include "tasks/download_cache.h"

namespace ovra::detail {

namespace {

// Counts one dispatched operation until its meshes are delivered, or until
// its tasks are dropped unfinished (its model destroyed, or a task threw), so
// that lost operations do not block streaming for good.
class PendingOperation {
 public:
  explicit PendingOperation(std::shared_ptr<uint64_t> counter) : counter_(std::move(counter)) { ++*counter_; }
  PendingOperation(const PendingOperation&) = delete;
  PendingOperation& operator=(const PendingOperation&) = delete;
  ~PendingOperation() { Finish(); }

  void Finish() {
    if (!counter_) return;
    --*counter_;
    counter_.reset();
  }

 private:
  std::shared_ptr<uint64_t> counter_;
};

}  // namespace

int64_t MonotonicMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

void StreamControllerPimpl::StartStreaming(ModelPimpl& model) {
  ForgetDestroyedModels();
  const bool known = std::any_of(streamedModels_.begin(), streamedModels_.end(),
                                 [&model](const StreamedModel& streamed) { return streamed.model == &model; });
  if (!known) streamedModels_.push_back({&model, model.Lifetime()});
}

void StreamControllerPimpl::StopStreaming(ModelPimpl& model) {
  vandu::SharedThreadPool().WaitForEmptyQueue();
  std::erase_if(streamedModels_, [&model](const StreamedModel& streamed) { return streamed.model == &model; });
  resetBounds_ = true;
}

DebugInfo StreamControllerPimpl::GetDebugInfo() const {
  DebugInfo info = debugInfo_;
  info.pendingOperations = *pendingOperations_;
  return info;
}

bool StreamControllerPimpl::Throttled() {
  const int64_t now = clock();
  if (lastUpdateMs_ && now - *lastUpdateMs_ < kUpdateIntervalMs) return true;
  lastUpdateMs_ = now;
  return false;
}

// A model destroyed without StopStreaming leaves like a stopped one.
void StreamControllerPimpl::ForgetDestroyedModels() {
  if (std::erase_if(streamedModels_, [](const StreamedModel& streamed) { return streamed.lifetime.expired(); }) > 0) {
    resetBounds_ = true;
  }
}

std::vector<ModelNode*> StreamControllerPimpl::PumpModels() {
  if (resetBounds_) {
    worldBounds_ = {};
    for (StreamedModel& streamed : streamedModels_) streamed.merged = false;
    resetBounds_ = false;
  }
  std::vector<ModelNode*> roots;
  for (StreamedModel& streamed : streamedModels_) {
    ModelPimpl& model = *streamed.model;
    if (model.context) UpdateTaskGroups(model.context->runningTaskGroups);
    if (!model.initializationComplete || !model.rootNode) continue;
    roots.push_back(model.rootNode.get());
    if (!streamed.merged) {
      worldBounds_.Merge(*model.rootNode, model.modelOffset);
      streamed.merged = true;
    }
  }
  return roots;
}

void StreamControllerPimpl::Update(const EnvironmentInfo& environment) {
  if (Throttled()) return;
  const DownloadCache& cache = DownloadCache::Instance();
  debugInfo_.cacheHits = cache.CacheHits();
  debugInfo_.cacheMisses = cache.CacheMisses();
  ForgetDestroyedModels();
  const std::vector<ModelNode*> roots = PumpModels();
  if (roots.empty() || *pendingOperations_ >= kMaxPendingOperations) return;
  SelectAndDispatch(roots, environment);
}

void StreamControllerPimpl::SelectAndDispatch(const std::vector<ModelNode*>& roots,
                                              const EnvironmentInfo& environment) {
  const Cut target = SelectTargetCut(roots, ScreenCoverage(worldBounds_, environment), settings_);
  operations_.clear();
  uint64_t displayedTriangles = 0;
  for (const int32_t root : target.roots) {
    displayedTriangles += static_cast<uint64_t>(CaptureCurrentCut(*target[root].node, currentCut_));
    DiffCuts(currentCut_, currentCut_.roots.front(), target, root, operations_);
  }
  debugInfo_.displayedTriangles = displayedTriangles;
  if (const SwapOperation* chosen = ChooseOperation(operations_, displayedTriangles, settings_.triangleBudget)) {
    Dispatch(*chosen);
  }
}

void StreamControllerPimpl::Dispatch(const SwapOperation& operation) {
  ModelContext& context = *operation.to.front().node->context;
  Downloader& downloader = *context.downloader;
  DownloadGroup* group = downloader.CreateDownloadGroup();
  std::shared_ptr<Task<int>> swap = BuildSwapTask(operation, group);
  std::shared_ptr<Task<int>> join = downloader.SubmitDownloadGroup(group);
  auto pending = std::make_shared<PendingOperation>(pendingOperations_);
  auto completion = MakeTask<int>(
      [pending](const ConstTaskList& dependencies) {
        FirstDependencyResult<int>(dependencies);
        pending->Finish();
        return 0;
      },
      ExecutionMode::Inline);
  completion->AddDependency(swap);
  StartTaskGroup(context.runningTaskGroups, {completion, join});
}

}  // namespace ovra::detail
