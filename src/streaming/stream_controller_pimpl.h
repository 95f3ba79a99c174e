#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ovra/stream_controller.h"
#include "streaming/cut.h"
#include "streaming/model_pimpl.h"
#include "streaming/scene_coverage.h"
#include "streaming/swap_operation.h"

namespace ovra::detail {

// Milliseconds on a clock that never steps backwards.
int64_t MonotonicMilliseconds();

// The private state of a StreamController. Host thread only.
class StreamControllerPimpl {
 public:
  static constexpr int64_t kUpdateIntervalMs = 250;
  static constexpr uint64_t kMaxPendingOperations = 5;

  explicit StreamControllerPimpl(const StreamControllerSettings& settings) : settings_(settings) {}

  void StartStreaming(ModelPimpl& model);
  void StopStreaming(ModelPimpl& model);
  void Update(const EnvironmentInfo& environment);
  DebugInfo GetDebugInfo() const;
  const WorldBounds& Bounds() const { return worldBounds_; }

  // The throttle's clock; tests drive it by hand.
  std::function<int64_t()> clock = MonotonicMilliseconds;

 private:
  struct StreamedModel {
    ModelPimpl* model;
    std::weak_ptr<const void> lifetime;
    bool merged = false;  // its box is part of worldBounds_
  };

  bool Throttled();
  void ForgetDestroyedModels();
  // Pumps every model's tasks; returns the roots of the initialized ones.
  std::vector<ModelNode*> PumpModels();
  void SelectAndDispatch(const std::vector<ModelNode*>& roots, const EnvironmentInfo& environment);
  void Dispatch(const SwapOperation& operation);

  std::vector<StreamedModel> streamedModels_;  // in the order they joined
  DebugInfo debugInfo_{};
  WorldBounds worldBounds_;
  bool resetBounds_ = false;
  StreamControllerSettings settings_;
  std::optional<int64_t> lastUpdateMs_;
  // Shared with the completion tasks, which may outlive the controller.
  std::shared_ptr<uint64_t> pendingOperations_ = std::make_shared<uint64_t>(0);
  // Kept between updates so that their storage is reused.
  Cut currentCut_;
  std::vector<SwapOperation> operations_;
};

// How the library reaches the private part of a host's StreamController.
struct StreamControllerAccess {
  static StreamControllerPimpl& Pimpl(StreamController& controller) { return *controller.pimpl_; }
};

}  // namespace ovra::detail
