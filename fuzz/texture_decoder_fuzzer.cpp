// Texture entries from arbitrary bytes, as image files and as KTX2 (the low
// bit of the first byte picks the name, the others the transcode target the
// renderer asks for), then merged with an alpha map made of the same bytes:
// decoding and transcoding must stay in bounds, and what they accept must
// cover its size.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "content/texture_decoder.h"
#include "ovra/mesh_renderer.h"

namespace {

// Every target the decoder maps, and keeping the stored data.
constexpr int kTargets[] = {ovra::IMeshRenderer::kKeepStoredFormat, 0, 1, 2, 3, 4, 5, 6, 13, 18, 20, 21};
int chosenTarget = ovra::IMeshRenderer::kKeepStoredFormat;

class ChosenTarget final : public ovra::IMeshRenderer {
 public:
  void AddMesh(const ovra::Mesh&, int, int, const int*, size_t, ovra::VisualizationInfo,
               std::function<void()>) override {}
  void RemoveMesh(int) override {}
  void RemoveAllMeshes() override {}
  int SelectTranscodeFormat(int, int, int) override { return chosenTarget; }
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
  static ChosenTarget renderer;
  chosenTarget = kTargets[(data[0] >> 1) % std::size(kTargets)];
  const std::vector<uint8_t> bytes(data + 1, data + size);
  const char* name = data[0] % 2 == 0 ? "fuzz.png" : "fuzz.ktx2";
  const cxm::Texture texture = ovra::DecodeTexture(bytes, name, &renderer);
  CheckCovers(texture);
  CheckCovers(ovra::MergeColorAlpha(texture, texture));
  return 0;
}
