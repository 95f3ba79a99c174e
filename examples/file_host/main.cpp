// A host that streams a model file from disk while its camera flies in: range
// requests are read on the host kit's I/O threads, and the finished reads are
// handed to the library on the host thread, once per frame, before the model
// is pumped.
//
// Usage: file_host <model.tzm>
#include <ovra/host/file_data_source.h>
#include <ovra/ovra.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// Prints what it is asked to show instead of drawing it, and shows the meshes
// of each swap together, as a real renderer must.
class PrintingRenderer final : public ovra::IMeshRenderer {
 public:
  void AddMesh(const ovra::Mesh& mesh, int meshId, int operationId, const int*, size_t operationMeshCount,
               ovra::VisualizationInfo, std::function<void()> onShown) override {
    std::printf("AddMesh id %d (node %d, level %d), operation %d: %llu vertices, %llu triangles\n", meshId,
                meshId / 4, meshId % 4, operationId,
                static_cast<unsigned long long>(mesh.positionsByteSize / 12),
                static_cast<unsigned long long>(mesh.indicesByteSize / 12));
    if (operationId == -1) {
      PrintMaterial(mesh);
      ++shownMeshes_;
      return;
    }
    // Hidden until every mesh of the operation is here.
    Operation& operation = waiting_[operationId];
    operation.onShown = std::move(onShown);
    if (++operation.received == operationMeshCount) {
      complete_.push_back(operationId);
    }
  }

  void RemoveMesh(int meshId) override {
    std::printf("RemoveMesh id %d\n", meshId);
    --shownMeshes_;
  }
  void RemoveAllMeshes() override { shownMeshes_ = 0; }
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }

  // After drawing a frame: the complete operations are now on screen; their
  // callbacks remove the meshes they replace.
  void EndFrame() {
    for (int operationId : complete_) {
      Operation operation = std::move(waiting_.at(operationId));
      waiting_.erase(operationId);
      shownMeshes_ += static_cast<int>(operation.received);
      operation.onShown();
    }
    complete_.clear();
  }

  int ShownMeshes() const { return shownMeshes_; }

 private:
  struct Operation {
    size_t received = 0;
    std::function<void()> onShown;
  };

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
      std::printf("  %s texture: %ux%u, format %u, %u components\n", names[i], slots[i]->width,
                  slots[i]->height, slots[i]->format, slots[i]->components);
    }
    std::printf("  base colour (%.2f, %.2f, %.2f, %.2f), roughness %.2f, metalness %.2f\n", mesh.baseColor[0],
                mesh.baseColor[1], mesh.baseColor[2], mesh.baseColor[3], mesh.roughness, mesh.metalness);
  }

  std::map<int, Operation> waiting_;
  std::vector<int> complete_;
  int shownMeshes_ = 0;
};

ovra::Vec3 Lerp(ovra::Vec3 a, ovra::Vec3 b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <model.tzm>\n", argv[0]);
    return 2;
  }
  ovra::host::FileDataSource source(argv[1]);
  if (!source.IsOpen()) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
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
    source.DeliverFinishedReads();
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
