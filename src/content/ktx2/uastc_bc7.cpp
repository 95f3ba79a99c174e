#include "content/ktx2/uastc_bc7.h"

#include <algorithm>
#include <utility>

#include "content/ktx2/bc7_block.h"
#include "content/ktx2/bc7_encoder.h"

namespace ovra::ktx2 {

namespace {

// A BC7 partition of `bc7Subsets` subsets each of whose subsets lies within
// one UASTC subset; fills which (`source`). False when there is none.
bool FindPartition(const UastcBlock& block, int bc7Subsets, int& partition, int (&source)[3]) {
  for (int p = 0; p < 64; ++p) {
    int map[3] = {-1, -1, -1};
    bool fits = true;
    for (int t = 0; t < 16 && fits; ++t) {
      int& mapped = map[bc7::Subset(bc7Subsets, p, t)];
      if (mapped < 0) mapped = block.subsetOf[t];
      fits = mapped == block.subsetOf[t];
    }
    if (fits) {
      partition = p;
      std::copy(map, map + 3, source);
      return true;
    }
  }
  return false;
}

bool HasAlpha(const UastcBlock& block) {
  for (int s = 0; s < block.subsets; ++s) {
    if (block.endpoints[s][0][3] != 255 || block.endpoints[s][1][3] != 255) return true;
  }
  return false;
}

// Mode 5, the second plane's channel swapped into alpha (BC7 rotation 1 to 3
// swaps alpha with red, green or blue; 0 keeps alpha).
void DualPlane(const UastcBlock& block, const uint8_t pixels[64], uint8_t out[16]) {
  const int channel = block.planeChannel;
  uint8_t rotated[64];
  std::copy(pixels, pixels + 64, rotated);
  uint8_t wanted[3][2][4] = {};
  std::copy(&block.endpoints[0][0][0], &block.endpoints[0][0][0] + 8, &wanted[0][0][0]);
  if (channel != 3) {
    for (int t = 0; t < 16; ++t) std::swap(rotated[4 * t + channel], rotated[4 * t + 3]);
    for (auto& endpoint : wanted[0]) std::swap(endpoint[channel], endpoint[3]);
  }
  bc7::Block bc7;
  bc7.mode = 5;
  bc7.rotation = channel == 3 ? 0 : channel + 1;
  bc7::Fit(rotated, wanted, bc7);
  bc7::Pack(bc7, out);
}

}  // namespace

void TranscodeUastcToBc7(const UastcBlock& block, const uint8_t pixels[64], uint8_t out[16]) {
  if (block.planeChannel >= 0) {
    DualPlane(block, pixels, out);
    return;
  }
  bc7::Block bc7;
  uint8_t wanted[3][2][4] = {};
  int source[3] = {0, 0, 0};
  if (block.subsets == 1) {
    bc7.mode = 6;
  } else if (block.subsets == 2 && FindPartition(block, 2, bc7.partition, source)) {
    bc7.mode = HasAlpha(block) ? 7 : block.weightBits >= 3 ? 1 : 3;
  } else if (!HasAlpha(block) && FindPartition(block, 3, bc7.partition, source)) {
    bc7.mode = 2;
  } else {
    EncodeBc7(pixels, out);  // no BC7 partition draws this one
    return;
  }
  for (int s = 0; s < bc7::kModes[bc7.mode].subsets; ++s) {
    std::copy(&block.endpoints[source[s]][0][0], &block.endpoints[source[s]][0][0] + 8, &wanted[s][0][0]);
  }
  bc7::Fit(pixels, wanted, bc7);
  bc7::Pack(bc7, out);
}

}  // namespace ovra::ktx2
