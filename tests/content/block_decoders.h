#pragma once
// Small decoders of the block formats the KTX2 transcoders write, for tests
// to measure what they wrote. Each is checked on basisu's own blocks.
#include <squish.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "content/bc7_decode.h"
#include "content/ktx2/eac_encoder.h"

namespace ovra::test {

// The 8-bit decode of one EAC block into 16 values row by row.
inline std::array<int, 16> DecodeEacBlock(const uint8_t* block) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | block[i];
  const int base = static_cast<int>(bits >> 56), multiplier = static_cast<int>((bits >> 52) & 15);
  const int8_t* modifiers = ktx2::kEacModifiers[(bits >> 48) & 15];
  std::array<int, 16> values{};
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) {
      const int index = static_cast<int>((bits >> (45 - 3 * (4 * x + y))) & 7);
      values[static_cast<size_t>(4 * y + x)] = std::clamp(base + modifiers[index] * multiplier, 0, 255);
    }
  }
  return values;
}

// One ETC1 block (either mode, either flip) into 16 RGBA texels, alpha 255.
inline void DecodeEtc1Block(const uint8_t* block, uint8_t rgba[64]) {
  static constexpr int kSteps[8][2] = {{2, 8}, {5, 17}, {9, 29}, {13, 42}, {18, 60}, {24, 80}, {33, 106}, {47, 183}};
  const bool differential = block[3] & 2, flip = block[3] & 1;
  int base[2][3];
  for (int c = 0; c < 3; ++c) {
    if (differential) {
      const int first = block[c] >> 3, delta = ((block[c] & 7) ^ 4) - 4;
      base[0][c] = (first << 3) | (first >> 2);
      base[1][c] = ((first + delta) << 3) | ((first + delta) >> 2);
    } else {
      base[0][c] = (block[c] >> 4) * 17;
      base[1][c] = (block[c] & 15) * 17;
    }
  }
  const int tables[2] = {block[3] >> 5, (block[3] >> 2) & 7};
  const int msb = (block[4] << 8) | block[5], lsb = (block[6] << 8) | block[7];
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const int half = flip ? y / 2 : x / 2, bit = 4 * x + y;
      const int index = (((msb >> bit) & 1) << 1) | ((lsb >> bit) & 1);
      const int step = kSteps[tables[half]][index & 1];
      const int modifier = index < 2 ? step : -step;
      uint8_t* texel = rgba + 4 * (4 * y + x);
      for (int c = 0; c < 3; ++c) texel[c] = static_cast<uint8_t>(std::clamp(base[half][c] + modifier, 0, 255));
      texel[3] = 255;
    }
  }
}

// One BC4 block into 16 values row by row.
inline std::array<uint8_t, 16> DecodeBc4Block(const uint8_t* block) {
  int palette[8] = {block[0], block[1]};
  const bool eight = block[0] > block[1];
  const int steps = eight ? 7 : 5;
  for (int i = 1; i < steps; ++i) palette[i + 1] = ((steps - i) * block[0] + i * block[1]) / steps;
  if (!eight) palette[6] = 0, palette[7] = 255;
  uint64_t bits = 0;
  for (int i = 7; i >= 2; --i) bits = (bits << 8) | block[i];
  std::array<uint8_t, 16> values{};
  for (size_t t = 0; t < 16; ++t) values[t] = static_cast<uint8_t>(palette[(bits >> (3 * t)) & 7]);
  return values;
}

// One opaque PVRTC2 4bpp word with its hard-transition flag set (the
// non-interpolated mode basisu and our encoder write) into 16 RGBA texels.
// False for a word in any other mode.
inline bool DecodePvrtc2Word(const uint8_t* bytes, uint8_t rgba[64]) {
  static constexpr int kWeights[4] = {0, 3, 5, 8};
  uint64_t w = 0;
  for (int b = 7; b >= 0; --b) w = (w << 8) | bytes[b];
  const bool opaque = w >> 63, hard = (w >> 47) & 1, punchThrough = (w >> 32) & 1;
  if (!opaque || !hard || punchThrough) return false;
  auto eight = [](int five) { return (five << 3) | (five >> 2); };
  const int blue = int(w >> 33) & 15;
  const int a[3] = {eight(int(w >> 42) & 31), eight(int(w >> 37) & 31), eight((blue << 1) | (blue >> 3))};
  const int b[3] = {eight(int(w >> 58) & 31), eight(int(w >> 53) & 31), eight(int(w >> 48) & 31)};
  for (int t = 0; t < 16; ++t) {
    const int weight = kWeights[(w >> (2 * t)) & 3];
    for (int c = 0; c < 3; ++c) rgba[4 * t + c] = static_cast<uint8_t>((a[c] * (8 - weight) + b[c] * weight) / 8);
    rgba[4 * t + 3] = 255;
  }
  return true;
}

// Decodes an image of `target` blocks (a transcode target number) into RGBA:
// one-channel formats fill red, two-channel ones red and green, and what a
// format lacks stays 0 (alpha 255). False for a block these cannot decode.
inline bool DecodeImage(int target, const uint8_t* data, int width, int height, std::vector<uint8_t>& rgba) {
  rgba.assign(static_cast<size_t>(width * height * 4), 0);
  for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  if (target == 2 || target == 3) {
    squish::DecompressImage(rgba.data(), width, height, data, target == 2 ? squish::kDxt1 : squish::kDxt5);
    return true;
  }
  const size_t blockBytes = (target == 1 || target == 3 || target == 5 || target == 6 || target == 21) ? 16 : 8;
  const int blocksX = (width + 3) / 4;
  for (int b = 0; b < blocksX * ((height + 3) / 4); ++b) {
    const uint8_t* block = data + static_cast<size_t>(b) * blockBytes;
    uint8_t texels[64];
    for (int t = 0; t < 16; ++t) texels[4 * t] = texels[4 * t + 1] = texels[4 * t + 2] = 0, texels[4 * t + 3] = 255;
    switch (target) {
      case 0: DecodeEtc1Block(block, texels); break;
      case 1: {
        DecodeEtc1Block(block + 8, texels);
        const auto alpha = DecodeEacBlock(block);
        for (int t = 0; t < 16; ++t) texels[4 * t + 3] = static_cast<uint8_t>(alpha[static_cast<size_t>(t)]);
        break;
      }
      case 4:
      case 5:
      case 20:
      case 21:  // NOLINT
        for (int channel = 0; channel < (target == 5 || target == 21 ? 2 : 1); ++channel) {
          std::array<uint8_t, 16> values{};
          if (target == 4 || target == 5) {
            values = DecodeBc4Block(block + 8 * channel);
          } else {
            const auto eac = DecodeEacBlock(block + 8 * channel);
            for (size_t t = 0; t < 16; ++t) values[t] = static_cast<uint8_t>(eac[t]);
          }
          for (size_t t = 0; t < 16; ++t) texels[4 * t + static_cast<size_t>(channel)] = values[t];
        }
        break;
      case 6:
        if (!DecodeBc7Block(block, texels)) return false;
        break;
      case 18:
        if (!DecodePvrtc2Word(block, texels)) return false;
        break;
      default: return false;
    }
    for (int t = 0; t < 16; ++t) {
      const int x = (b % blocksX) * 4 + t % 4, y = (b / blocksX) * 4 + t / 4;
      if (x < width && y < height) std::copy_n(texels + 4 * t, 4, rgba.begin() + (y * width + x) * 4);
    }
  }
  return true;
}

}  // namespace ovra::test
