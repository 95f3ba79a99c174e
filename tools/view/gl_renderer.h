#pragma once

#include <ovra/host/swap_collector.h>
#include <ovra/mesh_renderer.h>

#include <chrono>
#include <functional>
#include <unordered_map>
#include <vector>

#include "view/gl.h"
#include "view/gl_program.h"
#include "view/view_math.h"

namespace ovra::view {

// Compressed texture formats the current GL context can sample.
struct GlCapabilities {
  bool bptc = false;
  bool s3tc = false;

  static GlCapabilities OfCurrentContext();
};

struct RendererStatistics {
  size_t meshes = 0;
  uint64_t triangles = 0;  // of the meshes drawn
  size_t waitingOperations = 0;
  uint64_t meshesAdded = 0;
  uint64_t meshesRemoved = 0;
};

// An OpenGL 3.3 core renderer for the library's meshes.
//
// Meshes are uploaded during `AddMesh`, which is where their data is valid.
// Each swap's meshes stay hidden until all of them have arrived; a frame then
// shows them (`ShowCompleteOperations`, before drawing) and, once drawn, calls
// the swap's `onShown` (`CallShownCallbacks`, after drawing), which removes
// the meshes they replace.
//
// Threading: everything on the thread that owns the GL context, which is the
// host thread, except `SelectTranscodeFormat`, which reads only what the
// constructor set.
class GlRenderer final : public IMeshRenderer {
 public:
  explicit GlRenderer(GlCapabilities capabilities);
  ~GlRenderer() override;

  void AddMesh(const Mesh& mesh, int meshId, int operationId, const int* operationMeshIds, size_t operationMeshCount,
               VisualizationInfo visualization, std::function<void()> onShown) override;
  void RemoveMesh(int meshId) override;
  void RemoveAllMeshes() override;
  int SelectTranscodeFormat(int width, int height, int componentCount) override;

  void ShowCompleteOperations();
  void Draw(const GlProgram& program) const;
  void CallShownCallbacks();

  RendererStatistics Statistics() const;
  // Bounds of every mesh ever added.
  const Box& Bounds() const { return bounds_; }
  // Time spent uploading and freeing meshes, summed since construction.
  std::chrono::nanoseconds GpuTransferTime() const { return transferTime_; }

 private:
  struct GpuMesh;

  void Upload(const Mesh& mesh, GpuMesh& gpu);

  const GlCapabilities capabilities_;
  std::unordered_map<int, GpuMesh> meshes_;
  host::SwapCollector swaps_;
  std::vector<std::function<void()>> shownCallbacks_;
  Box bounds_;
  std::chrono::nanoseconds transferTime_{0};
  uint64_t meshesAdded_ = 0;
  uint64_t meshesRemoved_ = 0;
};

}  // namespace ovra::view
