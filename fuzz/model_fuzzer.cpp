// A whole model from arbitrary bytes: the file is served through a data
// source, initialised, pumped and streamed for a few controller updates with
// a host that shows every swap. Any outcome but a crash, a hang, a leak or
// an out-of-bounds access is fine; exceptions that reach the host are what a
// host catches.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

#include "ovra/logging.h"
#include "ovra/model.h"
#include "ovra/stream_controller.h"
#include "streaming/model_pimpl.h"
#include "streaming/stream_controller_pimpl.h"
#include "support/recording_renderer.h"

namespace {

// Answers at once with the file's bytes, zero-padded; ranges larger than a
// host would buffer stay unanswered, as a host may leave them.
class FileDataSource final : public ovra::DataSource {
 public:
  explicit FileDataSource(const uint8_t* data, size_t size) : file_(data, data + size) {}

  void RequestRange(int requestId, uint64_t offset, uint64_t size) override {
    if (size > kLargestAnswer) return;
    std::vector<uint8_t> bytes(size, 0);
    for (uint64_t i = 0; i < size && offset + i < file_.size() && offset + i >= offset; ++i) {
      bytes[i] = file_[offset + i];
    }
    CompleteRangeRequest(requestId, bytes.data());
  }

 private:
  static constexpr uint64_t kLargestAnswer = uint64_t{16} << 20;
  std::vector<uint8_t> file_;
};

class SilentLogger final : public ovra::ILogger {
 public:
  void Status(std::string_view) override {}
  void Warning(std::string_view) override {}
  void Error(std::string_view) override {}
};

void Stream(FileDataSource& source, ovra::test::RecordingRenderer& renderer) {
  ovra::Model model;
  model.Init(source, renderer, 1.0f, ovra::Vec3{}, -1, -1);
  ovra::StreamControllerSettings settings;
  settings.triangleBudget = 1000000;
  settings.distanceExponent = 1.0f;
  ovra::StreamController controller(settings);
  int64_t nowMs = 0;
  ovra::detail::StreamControllerAccess::Pimpl(controller).clock = [&nowMs] { return nowMs += 250; };
  controller.StartStreamingModel(&model);
  size_t shown = 0;
  const ovra::TaskGroupList& pending = ovra::detail::ModelAccess::Pimpl(model).context->runningTaskGroups;
  for (int frame = 0, idle = 0; frame < 48 && idle < 3; ++frame) {
    model.UpdateRunningTasks();
    idle = pending.empty() ? idle + 1 : 0;
    controller.Update({{0.5f, 0.5f, 0.5f}, 60.0f, 1.0f});
    for (; shown < renderer.Added().size(); ++shown) {
      if (renderer.Added()[shown].onShown) renderer.Added()[shown].onShown();
    }
    std::this_thread::yield();
  }
  controller.StopStreamingModel(&model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentLogger logger;
  ovra::Log::SetLogger(&logger);
  FileDataSource source(data, size);
  ovra::test::RecordingRenderer renderer;
  try {
    Stream(source, renderer);
  } catch (const std::exception&) {
    // Malformed documents and failed tasks surface to the host as exceptions.
  }
  // Each input starts from an empty download cache.
  ovra::StreamController::CleanupGlobalState();
  return 0;
}
