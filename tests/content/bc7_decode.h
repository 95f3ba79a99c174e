#pragma once

#include <cstdint>
#include <utility>

#include "content/ktx2/bc7_block.h"

namespace ovra::test {

// Decodes a BC7 block of any mode into 16 RGBA texels row by row. Its own
// reading of the bits; the partition and anchor tables are the library's,
// which the KTX2 tests check on basisu's blocks. False for the reserved mode.
inline bool DecodeBc7Block(const uint8_t block[16], uint8_t rgba[64]) {
  int position = 0;
  auto bits = [&](int count) {
    int value = 0;
    for (int i = 0; i < count; ++i, ++position) value |= ((block[position >> 3] >> (position & 7)) & 1) << i;
    return value;
  };
  int mode = 0;
  while (mode < 8 && bits(1) == 0) ++mode;
  if (mode == 8) return false;
  const ktx2::bc7::ModeLayout& m = ktx2::bc7::kModes[mode];
  const int partition = bits(m.partitionBits), rotation = bits(m.rotationBits);
  const int selection = bits(m.indexSelectionBits);
  int codes[3][2][4] = {}, p[3][2] = {};
  for (int c = 0; c < (m.alphaBits ? 4 : 3); ++c) {
    for (int s = 0; s < m.subsets; ++s) {
      for (int e = 0; e < 2; ++e) codes[s][e][c] = bits(c < 3 ? m.colorBits : m.alphaBits);
    }
  }
  for (int s = 0; s < m.subsets; ++s) {
    if (m.endpointPBits) p[s][0] = bits(1), p[s][1] = bits(1);
    if (m.sharedPBits) p[s][0] = p[s][1] = bits(1);
  }
  auto readIndices = [&](int width, int(&indices)[16]) {
    for (int t = 0; t < 16; ++t) {
      bool anchor = false;
      for (int s = 0; s < m.subsets; ++s) anchor = anchor || ktx2::bc7::Anchor(m.subsets, partition, s) == t;
      indices[t] = width ? bits(anchor ? width - 1 : width) : 0;
    }
  };
  int primary[16], secondary[16];
  readIndices(m.indexBits, primary);
  readIndices(m.secondaryIndexBits, secondary);
  const bool hasP = m.endpointPBits || m.sharedPBits;
  for (int t = 0; t < 16; ++t) {
    const int s = ktx2::bc7::Subset(m.subsets, partition, t);
    int colorIndex = primary[t], colorBits = m.indexBits, alphaIndex = primary[t], alphaBits = m.indexBits;
    if (m.secondaryIndexBits) {
      if (selection) {
        colorIndex = secondary[t], colorBits = m.secondaryIndexBits;
      } else {
        alphaIndex = secondary[t], alphaBits = m.secondaryIndexBits;
      }
    }
    uint8_t* texel = rgba + 4 * t;
    for (int c = 0; c < 4; ++c) {
      const int width = c < 3 ? m.colorBits : m.alphaBits;
      int e[2];
      for (int k = 0; k < 2; ++k)
        e[k] = width ? ktx2::bc7::ExpandEndpoint(codes[s][k][c], width, hasP ? p[s][k] : -1) : 255;
      const int weight = c < 3 ? ktx2::bc7::Weights(colorBits)[colorIndex] : ktx2::bc7::Weights(alphaBits)[alphaIndex];
      texel[c] = static_cast<uint8_t>(((64 - weight) * e[0] + weight * e[1] + 32) >> 6);
    }
    if (rotation) std::swap(texel[rotation - 1], texel[3]);
  }
  return true;
}

}  // namespace ovra::test
