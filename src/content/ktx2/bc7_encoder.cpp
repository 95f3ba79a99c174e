#include "content/ktx2/bc7_encoder.h"

#include "content/ktx2/bc7_block.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ovra::ktx2 {

namespace {

using Color = std::array<int, 4>;

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
        covariance[a][b] +=
            (rgba[4 * i + a] - mean[static_cast<size_t>(a)]) * (rgba[4 * i + b] - mean[static_cast<size_t>(b)]);
      }
    }
  }
  std::array<double, 4> axis{};
  std::fill_n(axis.begin(), channels, 1.0);
  for (int step = 0; step < 8; ++step) {
    std::array<double, 4> next{};
    double length = 0;
    for (int a = 0; a < channels; ++a) {
      for (int b = 0; b < channels; ++b)
        next[static_cast<size_t>(a)] += covariance[a][b] * axis[static_cast<size_t>(b)];
      length += next[static_cast<size_t>(a)] * next[static_cast<size_t>(a)];
    }
    if (length < 1e-12) break;  // one colour: any axis will do
    for (double& v : next) v /= std::sqrt(length);
    axis = next;
  }
  double low = 0, high = 0;
  for (int i = 0; i < 16; ++i) {
    double t = 0;
    for (size_t c = 0; c < static_cast<size_t>(channels); ++c)
      t += (rgba[4 * i + static_cast<int>(c)] - mean[c]) * axis[c];
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

Encoded Finish(bc7::Block& block, const uint8_t rgba[64], const std::array<Color, 2>& line) {
  uint8_t wanted[3][2][4] = {};
  for (size_t e = 0; e < 2; ++e) {
    for (size_t c = 0; c < 4; ++c) wanted[0][e][c] = static_cast<uint8_t>(line[e][c]);
  }
  Encoded encoded;
  encoded.error = bc7::Fit(rgba, wanted, block);
  bc7::Pack(block, encoded.block);
  return encoded;
}

// Mode 6: one RGBA line, 7-bit endpoints with a p-bit each, 4-bit indices.
Encoded EncodeMode6(const uint8_t rgba[64], const std::array<Color, 2>& line) {
  bc7::Block block;
  block.mode = 6;
  return Finish(block, rgba, line);
}

// Mode 5: an RGB line with 7-bit endpoints and 2-bit indices, and alpha on
// its own with 8-bit endpoints and 2-bit indices, for blocks whose alpha does
// not follow their colour.
Encoded EncodeMode5(const uint8_t rgba[64]) {
  std::array<Color, 2> line = PrincipalLine(rgba, 3);
  line[0][3] = 255;
  line[1][3] = 0;
  for (int i = 0; i < 16; ++i) {
    line[0][3] = std::min<int>(line[0][3], rgba[4 * i + 3]);
    line[1][3] = std::max<int>(line[1][3], rgba[4 * i + 3]);
  }
  bc7::Block block;
  block.mode = 5;
  return Finish(block, rgba, line);
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
