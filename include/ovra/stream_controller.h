#pragma once

#include <memory>

#include "ovra/export.h"
#include "ovra/model.h"
#include "ovra/records.h"

namespace ovra {

namespace detail {
class StreamControllerPimpl;
struct StreamControllerAccess;
}  // namespace detail

/// Chooses, frame by frame, which level of detail of which node of its models
/// is shown, and swaps meshes in and out of the models' renderers.
///
/// Threading: every member is called on the host thread, the thread that
/// drives the models. Controllers share process-wide state (operation ids),
/// so all controllers of a process run on that one thread.
///
/// Ownership: the host owns the controller and the models; the controller
/// only points to the models it streams. Stop streaming a model before
/// destroying it; a model destroyed while streamed is forgotten at the next
/// update. Destroying the controller neither stops nor unloads anything:
/// shown meshes stay shown, and swaps already started still complete
/// through `Model::UpdateRunningTasks` and their `onShown` callbacks.
class OVRA_API StreamController {
 public:
  /// A controller with no models, selecting by a copy of `settings`.
  explicit StreamController(const StreamControllerSettings& settings);
  StreamController(const StreamController&) = delete;
  StreamController& operator=(const StreamController&) = delete;
  virtual ~StreamController();

  /// Streams `model` from the next update on; it takes part once its
  /// initialization is complete. Null and repeated calls are ignored.
  void StartStreamingModel(Model* model);

  /// Forgets `model`, after waiting until the worker pool has no queued job.
  /// Its shown meshes stay shown and swaps already started still complete.
  void StopStreamingModel(Model* model);

  /// The frame update: call once per frame. Does real work at most every
  /// 250 ms: pumps the models' pending work, selects the levels to show
  /// under the triangle budget and starts at most one swap of meshes, with
  /// at most five swaps waiting for their meshes at a time. Exceptions
  /// raised while decoding leave through this call.
  void Update(const EnvironmentInfo& environment);

  /// A copy of the controller's statistics.
  DebugInfo GetDebugInfo() const;

  /// Empties the process-wide download cache and zeroes its counters.
  static void CleanupGlobalState();

 private:
  friend struct detail::StreamControllerAccess;
  std::unique_ptr<detail::StreamControllerPimpl> pimpl_;
};

}  // namespace ovra
