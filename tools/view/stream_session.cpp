#include "view/stream_session.h"

#include <algorithm>
#include <mutex>
#include <string_view>

namespace ovra::view {

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

constexpr std::string_view kInitializationFailure = "Failed to initialize tzm model";

// Passes every message on to the logger it found and keeps the first
// initialization failure. Installed once for the whole process, since
// worker threads may log at any time.
class FailureWatch final : public ILogger {
 public:
  static FailureWatch& Instance() {
    static FailureWatch* watch = new FailureWatch();
    return *watch;
  }
  void Status(std::string_view message) override { next_->Status(message); }
  void Warning(std::string_view message) override { next_->Warning(message); }
  void Error(std::string_view message) override {
    next_->Error(message);
    if (message.starts_with(kInitializationFailure)) Fail(message);
  }
  void Fail(std::string_view reason) {
    const std::lock_guard lock(mutex_);
    if (failure_.empty()) failure_ = reason;
  }
  void Reset() {
    const std::lock_guard lock(mutex_);
    failure_.clear();
  }
  std::string Failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  FailureWatch() : next_(Log::GetLogger() != nullptr ? Log::GetLogger() : Log::GetDefaultLogger()) {
    Log::SetLogger(this);
  }

  ILogger* next_;
  mutable std::mutex mutex_;
  std::string failure_;
};

}  // namespace

std::string StreamSession::Failure() const {
  const std::string failure = FailureWatch::Instance().Failure();
  return failure.empty() ? failure : settings_.source + ": " + failure;
}

std::unique_ptr<StreamSession> StreamSession::Open(const SessionSettings& settings, GlCapabilities capabilities,
                                                   std::string* error) {
  std::unique_ptr<host::QueuedDataSource> source = host::OpenDataSource(settings.source, error);
  if (source == nullptr) return nullptr;
  return std::unique_ptr<StreamSession>(new StreamSession(settings, std::move(source), capabilities));
}

StreamSession::StreamSession(const SessionSettings& settings, std::unique_ptr<host::QueuedDataSource> source,
                             GlCapabilities capabilities)
    : settings_(settings), source_(std::move(source)), renderer_(capabilities), controller_([&settings] {
        StreamControllerSettings controller;
        controller.triangleBudget = settings.triangleBudget;
        controller.distanceExponent = settings.distanceExponent;
        return controller;
      }()) {
  FailureWatch::Instance().Reset();
  model_.Init(*source_, renderer_, 1.0f, Vec3{}, -1, -1);
  controller_.StartStreamingModel(&model_);
}

StreamSession::~StreamSession() { controller_.StopStreamingModel(&model_); }

FrameRecord StreamSession::Frame(const CameraPose& pose, float aspect, ShadingMode mode) {
  const std::chrono::nanoseconds transferBefore = renderer_.GpuTransferTime();
  const Clock::time_point start = Clock::now();
  try {
    source_->DeliverFinishedReads();
    model_.UpdateLocalCameraPosition(pose.position);
    model_.UpdateRunningTasks();
    controller_.Update(EnvironmentInfo{pose.position, settings_.verticalFieldOfView, aspect});
  } catch (const std::exception& error) {
    // An unreadable node document reaches the host this way.
    FailureWatch::Instance().Fail(error.what());
  }
  renderer_.ShowCompleteOperations();
  const Clock::time_point streamed = Clock::now();
  Draw(pose, aspect, mode);
  const Clock::time_point drawn = Clock::now();
  renderer_.CallShownCallbacks();
  const Clock::time_point end = Clock::now();

  const double transferMs = Milliseconds(renderer_.GpuTransferTime() - transferBefore);
  const DebugInfo debug = controller_.GetDebugInfo();
  const RendererStatistics shown = renderer_.Statistics();
  const host::TransferStatistics transfers = source_->Statistics();
  FrameRecord record;
  record.frame = frame_++;
  record.seconds = std::chrono::duration<double>(end - start_).count();
  record.camera = pose.position;
  record.initialized = model_.InitializationComplete();
  record.displayedTriangles = debug.displayedTriangles;
  record.drawnTriangles = shown.triangles;
  record.meshes = shown.meshes;
  record.pendingOperations = debug.pendingOperations;
  record.waitingOperations = shown.waitingOperations;
  record.meshesAdded = shown.meshesAdded;
  record.cacheHits = debug.cacheHits;
  record.cacheMisses = debug.cacheMisses;
  record.requests = transfers.requests;
  record.bytesRequested = transfers.bytesRequested;
  record.bytesReceived = transfers.bytesDelivered;
  record.libraryMs = Milliseconds(streamed - start) + Milliseconds(end - drawn) - transferMs;
  record.uploadMs = transferMs;
  record.drawMs = Milliseconds(drawn - streamed);
  return record;
}

void StreamSession::Redraw(const CameraPose& pose, float aspect, ShadingMode mode) const { Draw(pose, aspect, mode); }

void StreamSession::Draw(const CameraPose& pose, float aspect, ShadingMode mode) const {
  const Box& bounds = renderer_.Bounds();
  const float radius = bounds.Empty() ? 100.0f : bounds.Radius();
  const float distance = bounds.Empty() ? radius : Length(bounds.Center() - pose.position);
  const float far = distance + 2.0f * radius;
  const float near = std::max(far * 1e-4f, 1e-3f);
  const Vec3 up = bounds.Empty() ? Vec3{0, 1, 0} : GuessUp(bounds);
  const Mat4 viewProjection =
      Multiply(Perspective(settings_.verticalFieldOfView, aspect, near, far), LookAt(pose.position, pose.target, up));
  glClearColor(0.11f, 0.12f, 0.14f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  const Vec3 light = up + Normalize(pose.position - pose.target) * 0.5f;  // over the viewer's shoulder
  program_.Use(viewProjection, pose.position, light, mode);
  renderer_.Draw(program_);
  glFinish();
}

}  // namespace ovra::view
