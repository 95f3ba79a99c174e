#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "ovra/mesh_renderer.h"

namespace ovra::test {

// A renderer that copies everything it is given, as a real one must, and
// records the order of calls.
class RecordingRenderer : public IMeshRenderer {
 public:
  struct TextureCopy {
    std::vector<uint8_t> pixels;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t format = 0;
    uint16_t components = 0;
  };
  struct AddedMesh {
    int meshId = 0;
    int operationId = 0;
    std::vector<int> operationMeshIds;
    std::function<void()> onShown;
    std::vector<float> positions;
    std::vector<uint32_t> indices;
    std::vector<float> normals;
    std::vector<std::vector<float>> texCoords;  // one per non-empty set
    TextureCopy textures[5];                    // slots 0 to 4
    Mesh record;                                // material fields; pointers dangle
  };

  void AddMesh(const Mesh& mesh, int meshId, int operationId, const int* operationMeshIds, size_t operationMeshCount,
               VisualizationInfo, std::function<void()> onShown) override {
    AddedMesh added;
    added.meshId = meshId;
    added.operationId = operationId;
    if (operationMeshIds != nullptr) {
      added.operationMeshIds.assign(operationMeshIds, operationMeshIds + operationMeshCount);
    }
    added.onShown = std::move(onShown);
    added.positions = Copy(mesh.positions, mesh.positionsByteSize);
    added.indices = Copy(mesh.indices, mesh.indicesByteSize);
    added.normals = Copy(mesh.normals, mesh.normalsByteSize);
    for (auto [data, size] :
         {std::pair{mesh.texCoords0, mesh.texCoords0ByteSize}, std::pair{mesh.texCoords1, mesh.texCoords1ByteSize},
          std::pair{mesh.texCoords2, mesh.texCoords2ByteSize}, std::pair{mesh.texCoords3, mesh.texCoords3ByteSize}}) {
      if (size > 0) added.texCoords.push_back(Copy(data, size));
    }
    const Texture* slots[5] = {&mesh.colorTexture, &mesh.normalTexture, &mesh.metalRoughnessTexture,
                               &mesh.occlusionTexture, &mesh.emissiveTexture};
    for (int i = 0; i < 5; ++i) {
      const Texture& t = *slots[i];
      added.textures[i] = {Copy(t.data, t.byteSize), t.width, t.height, t.format, t.components};
    }
    added.record = mesh;
    added_.push_back(std::move(added));
  }

  void RemoveMesh(int meshId) override { removed_.push_back(meshId); }
  void RemoveAllMeshes() override {}

  // Keeps textures as stored unless a test sets another answer.
  int SelectTranscodeFormat(int, int, int) override { return transcodeFormat_.load(); }
  void SetTranscodeFormat(int format) { transcodeFormat_ = format; }

  const std::vector<AddedMesh>& Added() const { return added_; }
  const std::vector<int>& Removed() const { return removed_; }

 private:
  template <typename T>
  static std::vector<T> Copy(const T* data, uint64_t byteSize) {
    if (data == nullptr || byteSize == 0) return {};
    return std::vector<T>(data, data + byteSize / sizeof(T));
  }

  std::vector<AddedMesh> added_;
  std::vector<int> removed_;
  std::atomic<int> transcodeFormat_{kKeepStoredFormat};
};

}  // namespace ovra::test
