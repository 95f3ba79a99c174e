#include "content/ktx2/etc1s_targets.h"

#include <stb/stb_dxt.h>

#include "content/ktx2/bc7_encoder.h"
#include "content/ktx2/eac_encoder.h"
#include "content/ktx2/pvrtc2_encoder.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace ovra::ktx2 {

namespace {

enum Target {
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

// ETC1 intensity modifier tables: the small (a) and large (b) step.
constexpr int kModifiers[8][2] = {{2, 8}, {5, 17}, {9, 29}, {13, 42}, {18, 60}, {24, 80}, {33, 106}, {47, 183}};

using BlockPixels = std::array<std::array<uint8_t, 4>, 16>;  // RGBA, row by row

int Expand5(int value) { return (value << 3) | (value >> 2); }

int Selector(const Etc1sSelector& selector, int x, int y) { return (selector.rows[y] >> (2 * x)) & 3; }

// Texel colours of one block; selector 0 to 3 adds -b, -a, +a, +b.
BlockPixels DecodeBlock(const Etc1sGlobalData& data, const Etc1sBlock& block) {
  const Etc1sEndpoint& endpoint = data.endpoints[block.endpoint];
  const Etc1sSelector& selector = data.selectors[block.selector];
  const int* steps = kModifiers[endpoint.intensity];
  const int modifiers[4] = {-steps[1], -steps[0], steps[0], steps[1]};
  const int base[3] = {Expand5(endpoint.red), Expand5(endpoint.green), Expand5(endpoint.blue)};
  BlockPixels pixels{};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const int modifier = modifiers[Selector(selector, x, y)];
      auto& pixel = pixels[static_cast<size_t>(4 * y + x)];
      for (int c = 0; c < 3; ++c) pixel[static_cast<size_t>(c)] = static_cast<uint8_t>(std::clamp(base[c] + modifier, 0, 255));
      pixel[3] = 255;
    }
  }
  return pixels;
}

// RGB from the colour slice, alpha from the alpha slice's green if there is one.
BlockPixels DecodeImageBlock(const Etc1sGlobalData& data, const Etc1sImageBlocks& image, size_t index) {
  BlockPixels pixels = DecodeBlock(data, image.rgb[index]);
  if (!image.alpha.empty()) {
    const BlockPixels alpha = DecodeBlock(data, image.alpha[index]);
    for (size_t i = 0; i < 16; ++i) pixels[i][3] = alpha[i][1];
  }
  return pixels;
}

// ETC1S is ETC1 in differential mode with equal halves: a lossless repack.
// The flip bit is set, as Basis Universal writes it; with equal halves it
// changes nothing.
void AppendEtc1Block(const Etc1sGlobalData& data, const Etc1sBlock& block, std::vector<uint8_t>& out) {
  const Etc1sEndpoint& endpoint = data.endpoints[block.endpoint];
  const Etc1sSelector& selector = data.selectors[block.selector];
  // Pixel index bits per selector: most and least significant.
  static constexpr uint8_t kMsb[4] = {1, 1, 0, 0};
  static constexpr uint8_t kLsb[4] = {1, 0, 0, 1};
  uint32_t msb = 0, lsb = 0;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const int s = Selector(selector, x, y);
      const int bit = x * 4 + y;  // ETC1 numbers texels column by column
      msb |= uint32_t{kMsb[s]} << bit;
      lsb |= uint32_t{kLsb[s]} << bit;
    }
  }
  out.insert(out.end(), {static_cast<uint8_t>(endpoint.red << 3), static_cast<uint8_t>(endpoint.green << 3),
                         static_cast<uint8_t>(endpoint.blue << 3),
                         static_cast<uint8_t>((endpoint.intensity << 5) | (endpoint.intensity << 2) | 3),
                         static_cast<uint8_t>(msb >> 8), static_cast<uint8_t>(msb), static_cast<uint8_t>(lsb >> 8),
                         static_cast<uint8_t>(lsb)});
}

void AppendRgba(const Etc1sGlobalData& data, const Etc1sImageBlocks& image, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  out.resize(start + size_t{image.width} * image.height * 4);
  for (uint32_t by = 0; by < image.blocksY; ++by) {
    for (uint32_t bx = 0; bx < image.blocksX; ++bx) {
      const BlockPixels pixels = DecodeImageBlock(data, image, size_t{by} * image.blocksX + bx);
      for (uint32_t y = 0; y < 4 && 4 * by + y < image.height; ++y) {
        for (uint32_t x = 0; x < 4 && 4 * bx + x < image.width; ++x) {
          const size_t at = start + (size_t{4 * by + y} * image.width + 4 * bx + x) * 4;
          std::copy_n(pixels[4 * y + x].begin(), 4, out.begin() + static_cast<std::ptrdiff_t>(at));
        }
      }
    }
  }
}

// One EAC block of channel `channel` of the pixels.
void AppendEacBlock(const BlockPixels& pixels, size_t channel, std::vector<uint8_t>& out) {
  uint8_t values[16], block[8];
  for (size_t i = 0; i < 16; ++i) values[i] = pixels[i][channel];
  EncodeEac(values, block);
  out.insert(out.end(), block, block + 8);
}

// BC7 is our own encoder; BC4 takes red; BC5 red and alpha, where
// two-channel textures keep their second channel (their second slice).
void AppendBcBlock(const BlockPixels& pixels, int target, std::vector<uint8_t>& out) {
  uint8_t block[16];
  if (target == kBc7Rgba) {
    EncodeBc7(reinterpret_cast<const uint8_t*>(pixels.data()), block);
    out.insert(out.end(), block, block + 16);
    return;
  }
  if (target == kBc1Rgb || target == kBc3Rgba) {
    const bool alpha = target == kBc3Rgba;
    stb_compress_dxt_block(block, reinterpret_cast<const unsigned char*>(pixels.data()), alpha ? 1 : 0, STB_DXT_HIGHQUAL);
    out.insert(out.end(), block, block + (alpha ? 16 : 8));
    return;
  }
  uint8_t channels[32];
  const bool two = target == kBc5Rg;
  for (size_t i = 0; i < 16; ++i) {
    channels[two ? 2 * i : i] = pixels[i][0];
    if (two) channels[2 * i + 1] = pixels[i][3];
  }
  if (two) {
    stb_compress_bc5_block(block, channels);
  } else {
    stb_compress_bc4_block(block, channels);
  }
  out.insert(out.end(), block, block + (two ? 16 : 8));
}

// The EAC targets keep red, and alpha as the second channel, as BC4 and BC5 do;
// ETC2 RGBA is an EAC alpha block and the ETC1 colour block, which ETC2 reads.
void AppendEncodedBlock(const Etc1sGlobalData& data, const Etc1sImageBlocks& image, size_t index, int target,
                        std::vector<uint8_t>& out) {
  const BlockPixels pixels = DecodeImageBlock(data, image, index);
  if (target == kEtc2Rgba) {
    AppendEacBlock(pixels, 3, out);
    AppendEtc1Block(data, image.rgb[index], out);
  } else if (target == kPvrtc2Rgb) {
    uint8_t word[8];
    EncodePvrtc2Block(reinterpret_cast<const uint8_t*>(pixels.data()), word);
    out.insert(out.end(), word, word + 8);
  } else if (target == kEacR11 || target == kEacRg11) {
    AppendEacBlock(pixels, 0, out);
    if (target == kEacRg11) AppendEacBlock(pixels, 3, out);
  } else {
    AppendBcBlock(pixels, target, out);
  }
}

}  // namespace

bool IsEtc1sTarget(int target) {
  return target == kEtc1Rgb || target == kEtc2Rgba || target == kBc1Rgb || target == kBc3Rgba || target == kBc4R ||
         target == kBc5Rg || target == kBc7Rgba || target == kRgba32 || target == kPvrtc2Rgb || target == kEacR11 ||
         target == kEacRg11;
}

bool WriteEtc1sImage(const Etc1sGlobalData& data, const Etc1sImageBlocks& image, int target,
                     std::vector<uint8_t>& out) {
  if (!IsEtc1sTarget(target)) return false;
  if (target == kRgba32) {
    AppendRgba(data, image, out);
    return true;
  }
  if (target == kEtc1Rgb) {
    for (const Etc1sBlock& block : image.rgb) AppendEtc1Block(data, block, out);
    return true;
  }
  // Blocks repeat codebook pairs, so each distinct pair is encoded once.
  std::unordered_map<uint64_t, std::vector<uint8_t>> encoded;
  for (size_t i = 0; i < image.rgb.size(); ++i) {
    const Etc1sBlock rgb = image.rgb[i];
    const Etc1sBlock alpha = image.alpha.empty() ? Etc1sBlock{} : image.alpha[i];
    const uint64_t key = rgb.endpoint | (uint64_t{rgb.selector} << 16) | (uint64_t{alpha.endpoint} << 32) |
                         (uint64_t{alpha.selector} << 48);
    auto [entry, added] = encoded.try_emplace(key);
    if (added) AppendEncodedBlock(data, image, i, target, entry->second);
    out.insert(out.end(), entry->second.begin(), entry->second.end());
  }
  return true;
}

}  // namespace ovra::ktx2
