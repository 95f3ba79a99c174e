#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ovra::ktx2 {

// Transcode targets, numbered as KTX-Software numbers them.
enum TranscodeTarget : int {
  kEtc1Rgb = 0,
  kEtc2Rgba = 1,
  kBc1Rgb = 2,
  kBc3Rgba = 3,
  kBc4R = 4,
  kBc5Rg = 5,
  kBc7Rgba = 6,
  kRgba32 = 13,
  kPvrtc2Rgb = 18,
  kEacR11 = 20,
  kEacRg11 = 21,
};

// Whether `target` is one of the above.
bool IsTranscodeTarget(int target);

using BlockPixels = std::array<std::array<uint8_t, 4>, 16>;  // RGBA, row by row

// Appends `pixels` as one block (two for RG11) of `target`, any target but
// RGBA32. `etc1` is the block's ETC1 colour when the source holds one to
// repack (ETC1 and the colour of ETC2 RGBA); null to encode it.
// BC4 and R11 take red; BC5 and RG11 red and alpha, where two-channel
// textures keep their second channel.
void AppendTargetBlock(const BlockPixels& pixels, int target, const uint8_t* etc1, std::vector<uint8_t>& out);

// Appends a width x height RGBA32 image drawn from its 4x4 blocks, row by
// row; `pixelsOf(index)` gives the pixels of block `index`.
template <typename PixelsOf>
void AppendRgbaImage(uint32_t width, uint32_t height, PixelsOf&& pixelsOf, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  out.resize(start + size_t{width} * height * 4);
  const uint32_t blocksX = (width + 3) / 4;
  for (uint32_t by = 0; by < (height + 3) / 4; ++by) {
    for (uint32_t bx = 0; bx < blocksX; ++bx) {
      const BlockPixels pixels = pixelsOf(size_t{by} * blocksX + bx);
      const uint32_t columns = std::min(4u, width - 4 * bx);
      for (uint32_t y = 0; y < 4 && 4 * by + y < height; ++y) {
        const size_t at = start + (size_t{4 * by + y} * width + 4 * bx) * 4;
        std::memcpy(out.data() + at, pixels[4 * y].data(), columns * 4);
      }
    }
  }
}

}  // namespace ovra::ktx2
