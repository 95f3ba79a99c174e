#pragma once

#include <cstdint>

namespace ovra::test {

// Decodes a BC7 block of mode 5 or 6, the modes the encoder writes, into
// 16 RGBA texels row by row. False for any other mode or a channel rotation.
inline bool DecodeBc7Block(const uint8_t block[16], uint8_t rgba[64]) {
  int position = 0;
  auto bits = [&](int count) {
    int value = 0;
    for (int i = 0; i < count; ++i, ++position) value |= ((block[position >> 3] >> (position & 7)) & 1) << i;
    return value;
  };
  auto interpolate = [](int e0, int e1, int weight) { return ((64 - weight) * e0 + weight * e1 + 32) >> 6; };
  static constexpr int kWeights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};
  static constexpr int kWeights2[4] = {0, 21, 43, 64};
  int e[2][4];
  if (bits(6) == 32) {  // mode 5
    if (bits(2) != 0) return false;
    for (int c = 0; c < 3; ++c) {
      for (int n = 0; n < 2; ++n) {
        const int code = bits(7);
        e[n][c] = (code << 1) | (code >> 6);
      }
    }
    e[0][3] = bits(8);
    e[1][3] = bits(8);
    for (int t = 0; t < 16; ++t) {
      const int w = kWeights2[bits(t == 0 ? 1 : 2)];
      for (int c = 0; c < 3; ++c) rgba[4 * t + c] = static_cast<uint8_t>(interpolate(e[0][c], e[1][c], w));
    }
    for (int t = 0; t < 16; ++t) {
      rgba[4 * t + 3] = static_cast<uint8_t>(interpolate(e[0][3], e[1][3], kWeights2[bits(t == 0 ? 1 : 2)]));
    }
    return position == 128;
  }
  position = 0;
  if (bits(7) != 64) return false;  // mode 6
  for (int c = 0; c < 4; ++c) {
    e[0][c] = bits(7) << 1;
    e[1][c] = bits(7) << 1;
  }
  const int p0 = bits(1), p1 = bits(1);
  for (int t = 0; t < 16; ++t) {
    const int w = kWeights4[bits(t == 0 ? 3 : 4)];
    for (int c = 0; c < 4; ++c) rgba[4 * t + c] = static_cast<uint8_t>(interpolate(e[0][c] | p0, e[1][c] | p1, w));
  }
  return position == 128;
}

}  // namespace ovra::test
