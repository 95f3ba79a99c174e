#include "content/ktx2/bc7_block.h"

#include <algorithm>
#include <climits>

namespace ovra::ktx2::bc7 {

const ModeLayout kModes[8] = {
    {3, 4, 0, 0, 4, 0, true, false, 3, 0},  {2, 6, 0, 0, 6, 0, false, true, 3, 0},
    {3, 6, 0, 0, 5, 0, false, false, 2, 0}, {2, 6, 0, 0, 7, 0, true, false, 2, 0},
    {1, 0, 2, 1, 5, 6, false, false, 2, 3}, {1, 0, 2, 0, 7, 8, false, false, 2, 2},
    {1, 0, 0, 0, 7, 7, true, false, 4, 0},  {2, 6, 0, 0, 5, 5, true, false, 2, 0},
};

namespace {

// Two-subset partitions: bit t set when texel t is in subset 1.
constexpr uint16_t kTwoSubsets[64] = {
    0xCCCC, 0x8888, 0xEEEE, 0xECC8, 0xC880, 0xFEEC, 0xFEC8, 0xEC80, 0xC800, 0xFFEC, 0xFE80, 0xE800, 0xFFE8,
    0xFF00, 0xFFF0, 0xF000, 0xF710, 0x008E, 0x7100, 0x08CE, 0x008C, 0x7310, 0x3100, 0x8CCE, 0x088C, 0x3110,
    0x6666, 0x366C, 0x17E8, 0x0FF0, 0x718E, 0x399C, 0xAAAA, 0xF0F0, 0x5A5A, 0x33CC, 0x3C3C, 0x55AA, 0x9696,
    0xA55A, 0x73CE, 0x13C8, 0x324C, 0x3BDC, 0x6996, 0xC33C, 0x9966, 0x0660, 0x0272, 0x04E4, 0x4E40, 0x2720,
    0xC936, 0x936C, 0x39C6, 0x639C, 0x9336, 0x9CC6, 0x817E, 0xE718, 0xCCF0, 0x0FCC, 0x7744, 0xEE22,
};

// Three-subset partitions: two bits per texel, texel 0 lowest.
constexpr uint32_t kThreeSubsets[64] = {
    0xAA685050, 0x6A5A5040, 0x5A5A4200, 0x5450A0A8, 0xA5A50000, 0xA0A05050, 0x5555A0A0, 0x5A5A5050,
    0xAA550000, 0xAA555500, 0xAAAA5500, 0x90909090, 0x94949494, 0xA4A4A4A4, 0xA9A59450, 0x2A0A4250,
    0xA5945040, 0x0A425054, 0xA5A5A500, 0x55A0A0A0, 0xA8A85454, 0x6A6A4040, 0xA4A45000, 0x1A1A0500,
    0x0050A4A4, 0xAAA59090, 0x14696914, 0x69691400, 0xA08585A0, 0xAA821414, 0x50A4A450, 0x6A5A0200,
    0xA9A58000, 0x5090A0A8, 0xA8A09050, 0x24242424, 0x00AA5500, 0x24924924, 0x24499224, 0x50A50A50,
    0x500AA550, 0xAAAA4444, 0x66660000, 0xA5A0A5A0, 0x50A050A0, 0x69286928, 0x44AAAA44, 0x66666600,
    0xAA444444, 0x54A854A8, 0x95809580, 0x96969600, 0xA85454A8, 0x80959580, 0xAA141414, 0x96960000,
    0xAAAA1414, 0xA05050A0, 0xA0A5A5A0, 0x96000000, 0x40804080, 0xA9A8A9A8, 0xAAAAAA44, 0x2A4A5254,
};

constexpr uint8_t kTwoSubsetAnchors[64] = {
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 2,  8, 2,  2, 8,
    8,  15, 2,  8,  2,  2,  8,  8,  2,  2,  15, 15, 6,  8,  2,  8,  15, 15, 2, 8,  2, 2,
    2,  15, 15, 6,  6,  2,  6,  8,  15, 15, 2,  2,  15, 15, 15, 15, 15, 2,  2, 15,
};
constexpr uint8_t kThreeSubsetSecondAnchors[64] = {
    3, 3,  15, 15, 8, 3,  15, 15, 8,  8, 6,  6, 6,  5,  3,  3,  3, 3,  8, 15, 3, 3, 6, 10, 5, 8,  8, 6,  8,  5,  15, 15,
    8, 15, 3,  5,  6, 10, 8,  15, 15, 3, 15, 5, 15, 15, 15, 15, 3, 15, 5, 5,  5, 8, 5, 10, 5, 10, 8, 13, 15, 12, 3,  3,
};
constexpr uint8_t kThreeSubsetThirdAnchors[64] = {
    15, 8, 8, 3,  15, 15, 3,  8,  15, 15, 15, 15, 15, 15, 15, 8,  15, 8,  15, 3,  15, 8,
    15, 8, 3, 15, 6,  10, 15, 15, 10, 8,  15, 3,  15, 10, 10, 8,  9,  10, 6,  15, 8,  15,
    3,  6, 6, 8,  15, 3,  15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 3,  15, 15, 8,
};

constexpr int kWeights2[4] = {0, 21, 43, 64};
constexpr int kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr int kWeights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

int Interpolate(int e0, int e1, int weight) { return ((64 - weight) * e0 + weight * e1 + 32) >> 6; }

// Gathers fields from bit 0 upwards into a 128-bit block.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    const uint64_t field = value & ((uint64_t{1} << bits) - 1);
    if (position_ < 64) {
      low_ |= field << position_;
      if (position_ + bits > 64) high_ |= field >> (64 - position_);
    } else {
      high_ |= field << (position_ - 64);
    }
    position_ += bits;
  }

  void Write(uint8_t out[16]) const {
    for (int i = 0; i < 8; ++i) {
      out[i] = static_cast<uint8_t>(low_ >> (8 * i));
      out[8 + i] = static_cast<uint8_t>(high_ >> (8 * i));
    }
  }

 private:
  uint64_t low_ = 0, high_ = 0;
  int position_ = 0;
};

// The stored code of `bits` bits whose expansion, with p-bit `pBit`, is
// nearest `wanted`; sets the squared error.
int NearestCode(int wanted, int bits, int pBit, int& error) {
  const int stored = bits + (pBit >= 0 ? 1 : 0);
  const int guess = std::clamp((wanted * ((1 << stored) - 1) + 127) / 255 >> (pBit >= 0 ? 1 : 0), 0, (1 << bits) - 1);
  int best = guess;
  error = INT_MAX;
  for (int code = std::max(0, guess - 1); code <= std::min((1 << bits) - 1, guess + 1); ++code) {
    const int d = ExpandEndpoint(code, bits, pBit) - wanted;
    if (d * d < error) error = d * d, best = code;
  }
  return best;
}

// Quantises one subset's endpoints (channels `first` to `last`) with the
// mode's p-bits, choosing the p-bits that come closest.
void QuantizeSubset(const ModeLayout& layout, const uint8_t wanted[2][4], int channels, uint8_t codes[2][4],
                    uint8_t pBits[2]) {
  const bool anyP = layout.endpointPBits || layout.sharedPBits;
  int bestError = INT_MAX;
  for (int p0 = 0; p0 <= (anyP ? 1 : 0); ++p0) {
    for (int p1 = 0; p1 <= (layout.endpointPBits ? 1 : 0); ++p1) {
      const int ps[2] = {anyP ? p0 : -1, layout.endpointPBits ? p1 : (anyP ? p0 : -1)};
      uint8_t trial[2][4] = {};
      int error = 0;
      for (int e = 0; e < 2; ++e) {
        for (int c = 0; c < channels; ++c) {
          const int bits = c < 3 ? layout.colorBits : layout.alphaBits;
          int channelError;
          trial[e][c] = static_cast<uint8_t>(NearestCode(wanted[e][c], bits, ps[e], channelError));
          error += channelError;
        }
      }
      if (error < bestError) {
        bestError = error;
        std::copy(&trial[0][0], &trial[0][0] + 8, &codes[0][0]);
        pBits[0] = static_cast<uint8_t>(std::max(ps[0], 0));
        pBits[1] = static_cast<uint8_t>(std::max(ps[1], 0));
      }
    }
  }
}

// The 8-bit endpoint colours a decoder reads for a subset.
void Decoded(const ModeLayout& layout, const uint8_t codes[2][4], const uint8_t pBits[2], int (&out)[2][4]) {
  for (int e = 0; e < 2; ++e) {
    const int p = layout.endpointPBits ? pBits[e] : layout.sharedPBits ? pBits[0] : -1;
    for (int c = 0; c < 4; ++c) {
      const int bits = c < 3 ? layout.colorBits : layout.alphaBits;
      out[e][c] = bits == 0 ? 255 : ExpandEndpoint(codes[e][c], bits, p);
    }
  }
}

// The nearest index over channels [first, last] and its squared error. The
// weights are nearly even, so only the neighbours of the pixel's projection
// onto the endpoints' line are tried.
int NearestIndex(const int (&e)[2][4], const uint8_t* pixel, int bits, int first, int last, int& error) {
  int along = 0, length = 0;
  for (int c = first; c <= last; ++c) {
    const int d = e[1][c] - e[0][c];
    along += (pixel[c] - e[0][c]) * d;
    length += d * d;
  }
  const int top = (1 << bits) - 1;
  const int guess = length > 0 ? std::clamp((along * top + length / 2) / length, 0, top) : 0;
  const int* weights = Weights(bits);
  int best = guess;
  error = INT_MAX;
  for (int index = std::max(0, guess - 1); index <= std::min(top, guess + 1); ++index) {
    int sum = 0;
    for (int c = first; c <= last; ++c) {
      const int d = Interpolate(e[0][c], e[1][c], weights[index]) - pixel[c];
      sum += d * d;
    }
    if (sum < error) error = sum, best = index;
  }
  return best;
}

// Makes each anchor's index top bit clear by swapping that subset's
// endpoints and mirroring its indices; for secondary indices, the alpha ones.
void FixAnchors(const ModeLayout& layout, Block& block, bool secondary) {
  const int bits = secondary ? layout.secondaryIndexBits : layout.indexBits;
  uint8_t* indices = secondary ? block.secondaryIndices : block.indices;
  const int subsets = layout.subsets;
  for (int s = 0; s < subsets; ++s) {
    const int anchor = Anchor(subsets, block.partition, s);
    if (indices[anchor] < (1 << (bits - 1))) continue;
    for (int t = 0; t < 16; ++t) {
      if (Subset(subsets, block.partition, t) == s) indices[t] = static_cast<uint8_t>((1 << bits) - 1 - indices[t]);
    }
    // Mode 5's alpha has its own indices; elsewhere the indices cover all channels.
    const int first = secondary ? 3 : 0, last = layout.secondaryIndexBits > 0 && !secondary ? 2 : 3;
    for (int c = first; c <= last; ++c) std::swap(block.endpoints[s][0][c], block.endpoints[s][1][c]);
    if (!secondary) std::swap(block.pBits[s][0], block.pBits[s][1]);
  }
}

}  // namespace

int Subset(int subsets, int partition, int texel) {
  if (subsets == 2) return (kTwoSubsets[partition] >> texel) & 1;
  if (subsets == 3) return static_cast<int>((kThreeSubsets[partition] >> (2 * texel)) & 3);
  return 0;
}

int Anchor(int subsets, int partition, int subset) {
  if (subset == 0) return 0;
  if (subsets == 2) return kTwoSubsetAnchors[partition];
  return subset == 1 ? kThreeSubsetSecondAnchors[partition] : kThreeSubsetThirdAnchors[partition];
}

int ExpandEndpoint(int code, int bits, int pBit) {
  const int value = pBit >= 0 ? (code << 1) | pBit : code;
  const int n = bits + (pBit >= 0 ? 1 : 0);
  return n >= 8 ? value : (value << (8 - n)) | (value >> (2 * n - 8));
}

const int* Weights(int bits) { return bits == 2 ? kWeights2 : bits == 3 ? kWeights3 : kWeights4; }

void Pack(const Block& block, uint8_t out[16]) {
  const ModeLayout& layout = kModes[block.mode];
  BitWriter writer;
  writer.Put(1u << block.mode, block.mode + 1);
  writer.Put(static_cast<uint32_t>(block.partition), layout.partitionBits);
  writer.Put(static_cast<uint32_t>(block.rotation), layout.rotationBits);
  writer.Put(static_cast<uint32_t>(block.indexSelection), layout.indexSelectionBits);
  for (int c = 0; c < 4; ++c) {
    const int bits = c < 3 ? layout.colorBits : layout.alphaBits;
    for (int s = 0; s < layout.subsets; ++s) {
      for (int e = 0; e < 2; ++e) writer.Put(block.endpoints[s][e][c], bits);
    }
  }
  for (int s = 0; s < layout.subsets; ++s) {
    if (layout.endpointPBits) {
      writer.Put(block.pBits[s][0], 1);
      writer.Put(block.pBits[s][1], 1);
    } else if (layout.sharedPBits) {
      writer.Put(block.pBits[s][0], 1);
    }
  }
  for (const bool secondary : {false, true}) {
    const int bits = secondary ? layout.secondaryIndexBits : layout.indexBits;
    const uint8_t* indices = secondary ? block.secondaryIndices : block.indices;
    for (int t = 0; bits > 0 && t < 16; ++t) {
      bool anchor = false;
      for (int s = 0; s < layout.subsets; ++s) anchor = anchor || Anchor(layout.subsets, block.partition, s) == t;
      writer.Put(indices[t], anchor ? bits - 1 : bits);
    }
  }
  writer.Write(out);
}

int Fit(const uint8_t pixels[64], const uint8_t wanted[3][2][4], Block& block) {
  const ModeLayout& layout = kModes[block.mode];
  const int channels = layout.alphaBits > 0 ? 4 : 3;
  const bool separateAlpha = layout.secondaryIndexBits > 0;
  int decoded[3][2][4];
  for (int s = 0; s < layout.subsets; ++s) {
    QuantizeSubset(layout, wanted[s], channels, block.endpoints[s], block.pBits[s]);
    Decoded(layout, block.endpoints[s], block.pBits[s], decoded[s]);
  }
  int total = 0;
  for (int t = 0; t < 16; ++t) {
    const int(&e)[2][4] = decoded[Subset(layout.subsets, block.partition, t)];
    int error;
    block.indices[t] =
        static_cast<uint8_t>(NearestIndex(e, pixels + 4 * t, layout.indexBits, 0, separateAlpha ? 2 : 3, error));
    total += error;
    if (separateAlpha) {
      block.secondaryIndices[t] =
          static_cast<uint8_t>(NearestIndex(e, pixels + 4 * t, layout.secondaryIndexBits, 3, 3, error));
      total += error;
    }
  }
  FixAnchors(layout, block, false);
  if (separateAlpha) FixAnchors(layout, block, true);
  return total;
}

}  // namespace ovra::ktx2::bc7
