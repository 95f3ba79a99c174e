#pragma once

#include <ovra/host/queued_data_source.h>
#include <ovra/ovra.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovra::host::testing {

// Writes the generated terrain of `depth` quadtree levels to `path`.
inline bool MakeSampleModel(const std::filesystem::path& path, int depth) {
  const std::string command =
      std::string(OVRA_MAKE_SAMPLE_MODEL) + " " + path.string() + " " + std::to_string(depth) + " > /dev/null";
  return std::system(command.c_str()) == 0;
}

// Keeps every message; installed for the lifetime of the object.
class RecordingLogger final : public ILogger {
 public:
  RecordingLogger() { Log::SetLogger(this); }
  ~RecordingLogger() override { Log::SetLogger(Log::GetDefaultLogger()); }
  void Status(std::string_view) override {}
  void Warning(std::string_view message) override { Keep(warnings_, message); }
  void Error(std::string_view message) override { Keep(errors_, message); }
  std::vector<std::string> Errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }
  std::vector<std::string> Warnings() const {
    std::lock_guard lock(mutex_);
    return warnings_;
  }

 private:
  void Keep(std::vector<std::string>& into, std::string_view message) {
    std::lock_guard lock(mutex_);
    into.emplace_back(message);
  }
  mutable std::mutex mutex_;
  std::vector<std::string> errors_;
  std::vector<std::string> warnings_;
};

// Shows every mesh at once and remembers a digest of the shown ones' bytes.
class DigestRenderer final : public IMeshRenderer {
 public:
  void AddMesh(const Mesh& mesh, int meshId, int, const int*, size_t, VisualizationInfo,
               std::function<void()> onShown) override {
    shown_[meshId] = Digest(mesh);
    if (onShown) shownCallbacks_.push_back(std::move(onShown));
  }
  void RemoveMesh(int meshId) override { shown_.erase(meshId); }
  void RemoveAllMeshes() override { shown_.clear(); }
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }

  // Swaps are shown as soon as they arrive, one frame late.
  void EndFrame() {
    std::vector<std::function<void()>> callbacks;
    callbacks.swap(shownCallbacks_);
    for (auto& callback : callbacks) callback();
  }
  const std::map<int, uint64_t>& Shown() const { return shown_; }
  bool Settled() const { return shownCallbacks_.empty(); }

 private:
  static void Mix(uint64_t& hash, const void* data, uint64_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint64_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  }
  static uint64_t Digest(const Mesh& mesh) {
    uint64_t hash = 14695981039346656037ull;
    Mix(hash, mesh.positions, mesh.positionsByteSize);
    Mix(hash, mesh.indices, mesh.indicesByteSize);
    Mix(hash, mesh.normals, mesh.normalsByteSize);
    Mix(hash, mesh.texCoords0, mesh.texCoords0ByteSize);
    Mix(hash, mesh.colorTexture.data, mesh.colorTexture.byteSize);
    return hash;
  }

  std::map<int, uint64_t> shown_;
  std::vector<std::function<void()>> shownCallbacks_;
};

// Streams the model in `source` as a host does, camera close above the
// middle, until nothing has been in flight for a second (four controller
// updates) or 30 s passed; `everyFrame` runs at the start of each frame.
// Returns the level and digest of each mesh shown in the end, sorted; node
// ids are left out since they differ from model to model.
inline std::vector<std::pair<uint64_t, int>> StreamUntilSettled(
    QueuedDataSource& source, const std::function<void(const QueuedDataSource&)>& everyFrame = {}) {
  DigestRenderer renderer;
  Model model;
  model.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
  StreamControllerSettings settings;
  settings.triangleBudget = 20000;
  settings.distanceExponent = 1.0f;
  StreamController controller(settings);
  controller.StartStreamingModel(&model);
  const Vec3 camera{20, 20, 10};
  model.UpdateLocalCameraPosition(camera);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  Clock::time_point quietSince = Clock::now();
  while (Clock::now() - quietSince < std::chrono::seconds(1) && Clock::now() < deadline) {
    if (everyFrame) everyFrame(source);
    source.DeliverFinishedReads();
    model.UpdateRunningTasks();
    controller.Update(EnvironmentInfo{camera, 60.0f, 1.0f});
    const bool idle =
        model.InitializationComplete() && renderer.Settled() && controller.GetDebugInfo().pendingOperations == 0;
    renderer.EndFrame();
    if (!idle) quietSince = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  controller.StopStreamingModel(&model);
  std::vector<std::pair<uint64_t, int>> shown;
  for (const auto& [meshId, digest] : renderer.Shown()) shown.emplace_back(digest, meshId % 4);
  std::sort(shown.begin(), shown.end());
  return shown;
}

}  // namespace ovra::host::testing
