#include "content/ktx2/bc7_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ovra::ktx2 {

namespace {

constexpr int kWeights[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

using Color = std::array<int, 4>;

// The endpoint with its p-bit chosen to come closest to `wanted`; returns the
// 8-bit colour it decodes to and sets the 7-bit channels and the p-bit.
Color Quantize(const Color& wanted, std::array<int, 4>& channels, int& pBit) {
  int bestError = -1;
  Color best{};
  for (int p = 0; p < 2; ++p) {
    Color decoded{};
    std::array<int, 4> codes{};
    int error = 0;
    for (int c = 0; c < 4; ++c) {
      codes[static_cast<size_t>(c)] = std::clamp((wanted[static_cast<size_t>(c)] - p + 1) >> 1, 0, 127);
      decoded[static_cast<size_t>(c)] = (codes[static_cast<size_t>(c)] << 1) | p;
      const int d = decoded[static_cast<size_t>(c)] - wanted[static_cast<size_t>(c)];
      error += d * d;
    }
    if (bestError < 0 || error < bestError) {
      bestError = error;
      best = decoded;
      channels = codes;
      pBit = p;
    }
  }
  return best;
}

int Interpolate(int e0, int e1, int weight) { return ((64 - weight) * e0 + weight * e1 + 32) >> 6; }

// The index whose interpolated colour is nearest to the pixel: the weights
// are nearly even, so only the neighbours of the projected position are tried.
int NearestIndex(const Color& e0, const Color& e1, const uint8_t* pixel) {
  int along = 0, length = 0;
  for (size_t c = 0; c < 4; ++c) {
    const int d = e1[c] - e0[c];
    along += (pixel[c] - e0[c]) * d;
    length += d * d;
  }
  const int guess = length > 0 ? std::clamp((along * 15 + length / 2) / length, 0, 15) : 0;
  int best = guess, bestError = -1;
  for (int index = std::max(0, guess - 1); index <= std::min(15, guess + 1); ++index) {
    int error = 0;
    for (size_t c = 0; c < 4; ++c) {
      const int d = Interpolate(e0[c], e1[c], kWeights[index]) - pixel[c];
      error += d * d;
    }
    if (bestError < 0 || error < bestError) {
      bestError = error;
      best = index;
    }
  }
  return best;
}

// Writes fields from the least significant bit of byte 0 upwards.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* bytes) : bytes_(bytes) { std::fill(bytes, bytes + 16, 0); }
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i, ++position_) {
      bytes_[position_ >> 3] |= static_cast<uint8_t>(((value >> i) & 1u) << (position_ & 7));
    }
  }

 private:
  uint8_t* bytes_;
  int position_ = 0;
};

// The line through the block's colours, over the first `channels` channels:
// along their principal axis (a few steps of power iteration on the
// covariance), spanning their projections. Other channels stay 0.
std::array<Color, 2> PrincipalLine(const uint8_t rgba[64], int channels = 4) {
  std::array<double, 4> mean{};
  for (int i = 0; i < 64; ++i) mean[static_cast<size_t>(i % 4)] += rgba[i] / 16.0;
  double covariance[4][4] = {};
  for (int i = 0; i < 16; ++i) {
    for (int a = 0; a < channels; ++a) {
      for (int b = 0; b < channels; ++b) {
        covariance[a][b] += (rgba[4 * i + a] - mean[static_cast<size_t>(a)]) * (rgba[4 * i + b] - mean[static_cast<size_t>(b)]);
      }
    }
  }
  std::array<double, 4> axis{};
  std::fill_n(axis.begin(), channels, 1.0);
  for (int step = 0; step < 8; ++step) {
    std::array<double, 4> next{};
    double length = 0;
    for (int a = 0; a < channels; ++a) {
      for (int b = 0; b < channels; ++b) next[static_cast<size_t>(a)] += covariance[a][b] * axis[static_cast<size_t>(b)];
      length += next[static_cast<size_t>(a)] * next[static_cast<size_t>(a)];
    }
    if (length < 1e-12) break;  // one colour: any axis will do
    for (double& v : next) v /= std::sqrt(length);
    axis = next;
  }
  double low = 0, high = 0;
  for (int i = 0; i < 16; ++i) {
    double t = 0;
    for (size_t c = 0; c < static_cast<size_t>(channels); ++c) t += (rgba[4 * i + static_cast<int>(c)] - mean[c]) * axis[c];
    low = std::min(low, t);
    high = std::max(high, t);
  }
  std::array<Color, 2> line{};
  for (size_t c = 0; c < static_cast<size_t>(channels); ++c) {
    line[0][c] = std::clamp(static_cast<int>(std::lround(mean[c] + axis[c] * low)), 0, 255);
    line[1][c] = std::clamp(static_cast<int>(std::lround(mean[c] + axis[c] * high)), 0, 255);
  }
  return line;
}

// The corners of the block's bounding box: best when the channels rise together.
std::array<Color, 2> BoxDiagonal(const uint8_t rgba[64]) {
  std::array<Color, 2> line{Color{255, 255, 255, 255}, Color{0, 0, 0, 0}};
  for (int i = 0; i < 64; ++i) {
    const auto c = static_cast<size_t>(i % 4);
    line[0][c] = std::min<int>(line[0][c], rgba[i]);
    line[1][c] = std::max<int>(line[1][c], rgba[i]);
  }
  return line;
}

// A finished block and its squared error over all channels.
struct Encoded {
  uint8_t block[16] = {};
  int error = 0;
};

// Mode 6: one RGBA line, 7-bit endpoints with a p-bit each, 4-bit indices.
Encoded EncodeMode6(const uint8_t rgba[64], const std::array<Color, 2>& line) {
  std::array<std::array<int, 4>, 2> codes{};
  int pBits[2] = {};
  const Color e0 = Quantize(line[0], codes[0], pBits[0]);
  const Color e1 = Quantize(line[1], codes[1], pBits[1]);
  Encoded encoded;
  int indices[16];
  for (int i = 0; i < 16; ++i) {
    indices[i] = NearestIndex(e0, e1, rgba + 4 * i);
    for (size_t c = 0; c < 4; ++c) {
      const int d = Interpolate(e0[c], e1[c], kWeights[indices[i]]) - rgba[4 * i + static_cast<int>(c)];
      encoded.error += d * d;
    }
  }
  // The first index is stored without its top bit: swap the endpoints if it is set.
  if (indices[0] >= 8) {
    std::swap(codes[0], codes[1]);
    std::swap(pBits[0], pBits[1]);
    for (int& index : indices) index = 15 - index;
  }
  BitWriter writer(encoded.block);
  writer.Put(1u << 6, 7);
  for (size_t c = 0; c < 4; ++c) {
    writer.Put(static_cast<uint32_t>(codes[0][c]), 7);
    writer.Put(static_cast<uint32_t>(codes[1][c]), 7);
  }
  writer.Put(static_cast<uint32_t>(pBits[0]), 1);
  writer.Put(static_cast<uint32_t>(pBits[1]), 1);
  writer.Put(static_cast<uint32_t>(indices[0]), 3);
  for (int i = 1; i < 16; ++i) writer.Put(static_cast<uint32_t>(indices[i]), 4);
  return encoded;
}

constexpr int kWeights2[4] = {0, 21, 43, 64};

// Nearest of the four 2-bit weights between `e0` and `e1` over `channels`
// channels starting at `first`; adds the squared error.
int NearestIndex2(const int* e0, const int* e1, const uint8_t* pixel, int first, int channels, int& error) {
  int best = 0, bestError = -1;
  for (int index = 0; index < 4; ++index) {
    int e = 0;
    for (int c = 0; c < channels; ++c) {
      const int d = Interpolate(e0[c], e1[c], kWeights2[index]) - pixel[first + c];
      e += d * d;
    }
    if (bestError < 0 || e < bestError) {
      bestError = e;
      best = index;
    }
  }
  error += bestError;
  return best;
}

// Writes 16 2-bit indices, the first without its top bit, swapping the
// endpoints first if that bit is set.
template <typename Endpoints>
void FixAnchor(int (&indices)[16], Endpoints& e0, Endpoints& e1) {
  if (indices[0] < 2) return;
  std::swap(e0, e1);
  for (int& index : indices) index = 3 - index;
}

// Mode 5: an RGB line with 7-bit endpoints and 2-bit indices, and alpha on
// its own with 8-bit endpoints and 2-bit indices, for blocks whose alpha does
// not follow their colour.
Encoded EncodeMode5(const uint8_t rgba[64]) {
  const std::array<Color, 2> line = PrincipalLine(rgba, 3);
  std::array<int, 3> codes[2];
  int colors[2][3];
  for (int e = 0; e < 2; ++e) {
    for (size_t c = 0; c < 3; ++c) {
      codes[e][c] = line[static_cast<size_t>(e)][c] >> 1;
      colors[e][c] = (codes[e][c] << 1) | (codes[e][c] >> 6);
    }
  }
  int alphas[2] = {255, 0};
  for (int i = 0; i < 16; ++i) {
    alphas[0] = std::min<int>(alphas[0], rgba[4 * i + 3]);
    alphas[1] = std::max<int>(alphas[1], rgba[4 * i + 3]);
  }
  Encoded encoded;
  int colorIndices[16], alphaIndices[16];
  for (int i = 0; i < 16; ++i) {
    colorIndices[i] = NearestIndex2(colors[0], colors[1], rgba + 4 * i, 0, 3, encoded.error);
    alphaIndices[i] = NearestIndex2(&alphas[0], &alphas[1], rgba + 4 * i, 3, 1, encoded.error);
  }
  FixAnchor(colorIndices, codes[0], codes[1]);
  FixAnchor(alphaIndices, alphas[0], alphas[1]);
  BitWriter writer(encoded.block);
  writer.Put(1u << 5, 6);
  writer.Put(0, 2);  // no channel rotation
  for (size_t c = 0; c < 3; ++c) {
    writer.Put(static_cast<uint32_t>(codes[0][c]), 7);
    writer.Put(static_cast<uint32_t>(codes[1][c]), 7);
  }
  writer.Put(static_cast<uint32_t>(alphas[0]), 8);
  writer.Put(static_cast<uint32_t>(alphas[1]), 8);
  for (const int* indices : {colorIndices, alphaIndices}) {
    writer.Put(static_cast<uint32_t>(indices[0]), 1);
    for (int i = 1; i < 16; ++i) writer.Put(static_cast<uint32_t>(indices[i]), 2);
  }
  return encoded;
}

}  // namespace

void EncodeBc7(const uint8_t rgba[64], uint8_t block[16]) {
  const Encoded candidates[] = {EncodeMode6(rgba, PrincipalLine(rgba)), EncodeMode6(rgba, BoxDiagonal(rgba)),
                                EncodeMode5(rgba)};
  const Encoded* best = &candidates[0];
  for (const Encoded& candidate : candidates) {
    if (candidate.error < best->error) best = &candidate;
  }
  std::copy_n(best->block, 16, block);
}

}  // namespace ovra::ktx2
