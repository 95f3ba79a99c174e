#include "view/headless_run.h"

#include <stb/stb_image_write.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "view/headless_context.h"

namespace ovra::view {

namespace {

using Clock = std::chrono::steady_clock;

std::string SavePicture(const HeadlessContext& context, const std::filesystem::path& path) {
  const std::vector<uint8_t> pixels = context.ReadPixels();
  if (!stbi_write_png(path.c_str(), context.Width(), context.Height(), 3, pixels.data(), context.Width() * 3)) {
    throw std::runtime_error("cannot write " + path.string());
  }
  return path.string();
}

// Keeps frames at least 1/fps apart.
class Pacer {
 public:
  explicit Pacer(int framesPerSecond)
      : interval_(framesPerSecond > 0 ? std::chrono::microseconds(1000000 / framesPerSecond)
                                      : std::chrono::microseconds(0)) {}
  void Wait() {
    next_ += interval_;
    const Clock::time_point now = Clock::now();
    if (next_ > now) {
      std::this_thread::sleep_until(next_);
    } else {
      next_ = now;
    }
  }

 private:
  std::chrono::microseconds interval_;
  Clock::time_point next_ = Clock::now();
};

}  // namespace

HeadlessResult RunHeadless(const HeadlessSettings& settings) {
  std::string error;
  const std::unique_ptr<HeadlessContext> context = HeadlessContext::Create(settings.width, settings.height, &error);
  if (context == nullptr) throw std::runtime_error("no headless OpenGL context: " + error);
  std::unique_ptr<StreamSession> session =
      StreamSession::Open(settings.session, GlCapabilities::OfCurrentContext(), &error);
  if (session == nullptr) throw std::runtime_error(error);

  const std::filesystem::path out(settings.outputDir);
  std::filesystem::create_directories(out / "frames");
  const float aspect = static_cast<float>(settings.width) / static_cast<float>(settings.height);
  HeadlessResult result;
  Pacer pacer(settings.framesPerSecond);

  // Until the first meshes arrive the model's size is unknown: look from afar.
  const CameraPose waiting{{0, 0, 1e4f}, {0, 0, 0}};
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(static_cast<int>(settings.initTimeoutSeconds * 1000));
  while (!session->Initialized()) {
    if (const std::string failure = session->Failure(); !failure.empty()) throw std::runtime_error(failure);
    if (Clock::now() > deadline)
      throw std::runtime_error(settings.session.source + ": the model did not initialise in time");
    result.log.Add(session->Frame(waiting, aspect, ShadingMode::kMaterial));
    pacer.Wait();
  }

  const Box bounds = session->Renderer().Bounds();
  const CameraPath path = CameraPath::Make(settings.cameraPath, bounds, GuessUp(bounds));
  const int firstPathFrame = static_cast<int>(result.log.Records().size());
  for (int frame = 0; frame < settings.frames; ++frame) {
    const CameraPose pose = path.At(frame, settings.frames);
    result.log.Add(session->Frame(pose, aspect, ShadingMode::kMaterial));
    if (frame % std::max(1, settings.saveEvery) == 0 || frame == settings.frames - 1) {
      char name[32];
      std::snprintf(name, sizeof name, "%04d", frame);
      SavedFrame saved{frame, SavePicture(*context, out / "frames" / ("frame_" + std::string(name) + ".png")), {}};
      session->Redraw(pose, aspect, ShadingMode::kLevels);
      saved.levels = SavePicture(*context, out / "frames" / ("levels_" + std::string(name) + ".png"));
      result.saved.push_back(saved);
    }
    pacer.Wait();
  }

  result.summary = result.log.Summarize(firstPathFrame + path.RestFrame(settings.frames), session->FileSize());
  result.csvPath = (out / "stats.csv").string();
  if (!result.log.WriteCsv(result.csvPath)) throw std::runtime_error("cannot write " + result.csvPath);
  const std::string plot = (out / "plot.png").string();
  if (PlotWithGnuplot(result.csvPath, plot, &error)) {
    result.plotPath = plot;
  } else {
    std::fprintf(stderr, "ovra-view: no plot: %s\n", error.c_str());
  }
  return result;
}

}  // namespace ovra::view
