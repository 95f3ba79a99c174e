// A host that streams a model file from disk while its camera flies in: range
// requests are read on the host kit's I/O threads, and the finished reads are
// handed to the library on the host thread, once per frame, before the model
// is pumped.
//
// With --blocking it reads with a data source of its own instead, the
// simplest one a host can write.
//
// Usage: file_host [--blocking] <model.tzm>
#include <ovra/host/file_data_source.h>
#include <ovra/host/swap_collector.h>
#include <ovra/ovra.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Reads each range at once, inside RequestRange, and completes it there:
// the library allows that, and it needs no queue. Bytes past the end of the
// file are zeros. Fine for small local files; a host that must not block
// its frame reads on other threads (see ovra::host::FileDataSource).
class BlockingFileSource final : public ovra::DataSource {
 public:
  explicit BlockingFileSource(const std::string& path) : file_(path, std::ios::binary) {}
  bool IsOpen() const { return file_.is_open(); }

  void RequestRange(int requestId, uint64_t offset, uint64_t size) override {
    std::vector<unsigned char> bytes(size, 0);
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    CompleteRangeRequest(requestId, bytes.data());
  }

 private:
  std::ifstream file_;
};

// Prints what it is asked to show instead of drawing it, and shows the meshes
// of each swap together, as a real renderer must.
class PrintingRenderer final : public ovra::IMeshRenderer {
 public:
  void AddMesh(const ovra::Mesh& mesh, int meshId, int operationId, const int*, size_t operationMeshCount,
               ovra::VisualizationInfo, std::function<void()> onShown) override {
    std::printf("AddMesh id %d (node %d, level %d), operation %d: %llu vertices, %llu triangles\n", meshId,
                ovra::NodeOfMeshId(meshId), ovra::LevelOfMeshId(meshId), operationId,
                static_cast<unsigned long long>(mesh.positionsByteSize / 12),
                static_cast<unsigned long long>(mesh.indicesByteSize / 12));
    // A first load shows at once; a swap's meshes stay hidden until all are here.
    if (swaps_.Add(meshId, operationId, operationMeshCount, std::move(onShown))) {
      PrintMaterial(mesh);
      ++shownMeshes_;
    }
  }

  void RemoveMesh(int meshId) override {
    std::printf("RemoveMesh id %d\n", meshId);
    --shownMeshes_;
  }
  void RemoveAllMeshes() override {
    shownMeshes_ = 0;
    swaps_.Clear();
  }
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }

  // After drawing a frame: the complete operations are now on screen; their
  // callbacks remove the meshes they replace.
  void EndFrame() {
    for (ovra::host::CompleteSwap& swap : swaps_.TakeComplete()) {
      shownMeshes_ += static_cast<int>(swap.meshIds.size());
      swap.onShown();
    }
  }

  int ShownMeshes() const { return shownMeshes_; }

 private:
  static void PrintMaterial(const ovra::Mesh& mesh) {
    const char* names[5] = {"colour", "normal", "metal-roughness", "occlusion", "emissive"};
    const ovra::Texture* slots[5] = {&mesh.colorTexture, &mesh.normalTexture, &mesh.metalRoughnessTexture,
                                     &mesh.occlusionTexture, &mesh.emissiveTexture};
    for (int i = 0; i < 5; ++i) {
      if (i == 3 && slots[i]->byteSize == 0 && slots[i]->format == ovra::kTextureFormatRGBA8) {
        std::puts("  occlusion: read from the metal-roughness texture");
        continue;
      }
      if (slots[i]->byteSize == 0) continue;
      std::printf("  %s texture: %ux%u, format %u, %u components\n", names[i], slots[i]->width, slots[i]->height,
                  slots[i]->format, slots[i]->components);
    }
    std::printf("  base colour (%.2f, %.2f, %.2f, %.2f), roughness %.2f, metalness %.2f\n", mesh.baseColor[0],
                mesh.baseColor[1], mesh.baseColor[2], mesh.baseColor[3], mesh.roughness, mesh.metalness);
  }

  ovra::host::SwapCollector swaps_;
  int shownMeshes_ = 0;
};

ovra::Vec3 Lerp(ovra::Vec3 a, ovra::Vec3 b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

// The reads of either source, completed on the host thread.
struct Source {
  std::unique_ptr<ovra::DataSource> source;
  std::function<void()> deliverFinishedReads;
};

Source OpenSource(const std::string& path, bool blocking) {
  if (blocking) {
    auto own = std::make_unique<BlockingFileSource>(path);
    if (!own->IsOpen()) return {};
    return {std::move(own), [] {}};
  }
  auto kit = std::make_unique<ovra::host::FileDataSource>(path);
  if (!kit->IsOpen()) return {};
  ovra::host::FileDataSource* reader = kit.get();
  return {std::move(kit), [reader] { reader->DeliverFinishedReads(); }};
}

}  // namespace

int main(int argc, char** argv) {
  const bool blocking = argc == 3 && std::string(argv[1]) == "--blocking";
  if (argc != 2 && !blocking) {
    std::fprintf(stderr, "usage: %s [--blocking] <model.tzm>\n", argv[0]);
    return 2;
  }
  const std::string path = argv[argc - 1];
  Source file = OpenSource(path, blocking);
  if (file.source == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    return 1;
  }
  ovra::DataSource& source = *file.source;
  PrintingRenderer renderer;
  ovra::Model model;
  const ovra::Vec3 far{-300, 0, 80};
  model.Init(source, renderer, 1.0f, ovra::Vec3{}, -1, -1);
  model.UpdateLocalCameraPosition(far);

  ovra::StreamControllerSettings settings;
  settings.triangleBudget = 20000;
  settings.distanceExponent = 1.0f;
  ovra::StreamController controller(settings);
  controller.StartStreamingModel(&model);

  // The host's frame loop, about 60 frames a second: deliver finished reads,
  // pump the model, update the controller, draw. The camera flies in for four
  // seconds and then hovers for two.
  constexpr int kFrames = 360;
  const ovra::Vec3 near{0, 0, 15};
  for (int frame = 0; frame < kFrames; ++frame) {
    const ovra::Vec3 camera = Lerp(far, near, std::min(1.0f, static_cast<float>(frame) / 240.0f));
    file.deliverFinishedReads();
    model.UpdateLocalCameraPosition(camera);
    model.UpdateRunningTasks();
    controller.Update(ovra::EnvironmentInfo{camera, 60.0f, 16.0f / 9.0f});
    renderer.EndFrame();
    if (frame % 60 == 59) {
      const ovra::DebugInfo info = controller.GetDebugInfo();
      std::printf("second %d: camera (%.0f, %.0f, %.0f), %d meshes and %llu triangles shown, %llu swaps pending\n",
                  frame / 60 + 1, camera.x, camera.y, camera.z, renderer.ShownMeshes(),
                  static_cast<unsigned long long>(info.displayedTriangles),
                  static_cast<unsigned long long>(info.pendingOperations));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  if (!model.InitializationComplete()) {
    std::fprintf(stderr, "the model did not finish initializing\n");
    return 1;
  }
  controller.StopStreamingModel(&model);
  std::puts("file_host done");
  return 0;
}
