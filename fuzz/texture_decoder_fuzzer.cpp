// Texture entries from arbitrary bytes, as image files and as KTX2 (the first
// byte picks the name), then merged with an alpha map made of the same
// bytes: decoding must stay in bounds, and what it accepts must cover its
// size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "content/texture_decoder.h"
#include "ovra/mesh_renderer.h"

namespace {

class KeepStored final : public ovra::IMeshRenderer {
 public:
  void AddMesh(const ovra::Mesh&, int, int, const int*, size_t, ovra::VisualizationInfo,
               std::function<void()>) override {}
  void RemoveMesh(int) override {}
  void RemoveAllMeshes() override {}
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }
};

void CheckCovers(const cxm::Texture& texture) {
  const bool uncompressed = texture.format >= 1 && texture.format <= 4;
  if (!uncompressed || texture.pixels == nullptr || texture.pixels->empty()) return;
  const uint64_t needed = uint64_t{texture.width} * texture.height * texture.format;
  if (texture.pixels->size() < needed) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static KeepStored renderer;
  const std::vector<uint8_t> bytes(data + 1, data + size);
  const char* name = data[0] % 2 == 0 ? "fuzz.png" : "fuzz.ktx2";
  const cxm::Texture texture = ovra::DecodeTexture(bytes, name, &renderer);
  CheckCovers(texture);
  CheckCovers(ovra::MergeColorAlpha(texture, texture));
  return 0;
}
