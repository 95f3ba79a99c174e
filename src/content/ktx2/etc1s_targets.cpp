#include "content/ktx2/etc1s_targets.h"

#include <algorithm>
#include <unordered_map>

#include "content/ktx2/block_targets.h"
#include "content/ktx2/etc1_encoder.h"

namespace ovra::ktx2 {

namespace {

int Expand5(int value) { return (value << 3) | (value >> 2); }

int Selector(const Etc1sSelector& selector, int x, int y) { return (selector.rows[y] >> (2 * x)) & 3; }

// Texel colours of one block; selector 0 to 3 adds -b, -a, +a, +b.
BlockPixels DecodeBlock(const Etc1sGlobalData& data, const Etc1sBlock& block) {
  const Etc1sEndpoint& endpoint = data.endpoints[block.endpoint];
  const Etc1sSelector& selector = data.selectors[block.selector];
  const int* steps = kEtc1Modifiers[endpoint.intensity];
  const int modifiers[4] = {-steps[1], -steps[0], steps[0], steps[1]};
  const int base[3] = {Expand5(endpoint.red), Expand5(endpoint.green), Expand5(endpoint.blue)};
  BlockPixels pixels{};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const int modifier = modifiers[Selector(selector, x, y)];
      auto& pixel = pixels[static_cast<size_t>(4 * y + x)];
      for (int c = 0; c < 3; ++c)
        pixel[static_cast<size_t>(c)] = static_cast<uint8_t>(std::clamp(base[c] + modifier, 0, 255));
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
std::array<uint8_t, 8> Etc1Block(const Etc1sGlobalData& data, const Etc1sBlock& block) {
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
  return {static_cast<uint8_t>(endpoint.red << 3),
          static_cast<uint8_t>(endpoint.green << 3),
          static_cast<uint8_t>(endpoint.blue << 3),
          static_cast<uint8_t>((endpoint.intensity << 5) | (endpoint.intensity << 2) | 3),
          static_cast<uint8_t>(msb >> 8),
          static_cast<uint8_t>(msb),
          static_cast<uint8_t>(lsb >> 8),
          static_cast<uint8_t>(lsb)};
}

}  // namespace

bool WriteEtc1sImage(const Etc1sGlobalData& data, const Etc1sImageBlocks& image, int target,
                     std::vector<uint8_t>& out) {
  if (!IsTranscodeTarget(target)) return false;
  if (target == kRgba32) {
    AppendRgbaImage(
        image.width, image.height, [&](size_t index) { return DecodeImageBlock(data, image, index); }, out);
    return true;
  }
  if (target == kEtc1Rgb) {
    for (const Etc1sBlock& block : image.rgb) {
      const std::array<uint8_t, 8> etc1 = Etc1Block(data, block);
      out.insert(out.end(), etc1.begin(), etc1.end());
    }
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
    if (added) {
      const std::array<uint8_t, 8> etc1 = Etc1Block(data, rgb);
      AppendTargetBlock(DecodeImageBlock(data, image, i), target, etc1.data(), entry->second);
    }
    out.insert(out.end(), entry->second.begin(), entry->second.end());
  }
  return true;
}

}  // namespace ovra::ktx2
