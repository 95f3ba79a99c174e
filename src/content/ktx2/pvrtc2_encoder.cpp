#include "content/ktx2/pvrtc2_encoder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace ovra::ktx2 {

namespace {

using Color = std::array<int, 3>;
using ColorF = std::array<float, 3>;

constexpr int kWeights[4] = {0, 3, 5, 8};  // eighths of colour B, by modulation value
constexpr int kBitsA[3] = {5, 5, 4}, kBitsB[3] = {5, 5, 5};

using BlockPixels = std::array<ColorF, 16>;

// A word's colours as stored: A in 5, 5, 4 bits, B in 5, 5, 5 bits.
struct Endpoints {
  Color a, b;
};

int Quantize(float value, int bits) {
  const int top = (1 << bits) - 1;
  return std::clamp(static_cast<int>(std::lround(value * static_cast<float>(top) / 255.0f)), 0, top);
}

// Bit replication to five bits, then to eight.
int Expand(int value, int bits) {
  const int five = bits == 4 ? (value << 1) | (value >> 3) : value;
  return (five << 3) | (five >> 2);
}

// A decoder's mix of colours a and b (8-bit) for modulation weight `weight`.
int Blend(int a, int b, int weight) { return (a * (8 - weight) + b * weight) / 8; }

std::array<Color, 4> Palette(const Endpoints& e) {
  std::array<Color, 4> palette;
  for (size_t c = 0; c < 3; ++c) {
    const int a = Expand(e.a[c], kBitsA[c]), b = Expand(e.b[c], kBitsB[c]);
    for (size_t m = 0; m < 4; ++m) palette[m][c] = Blend(a, b, kWeights[m]);
  }
  return palette;
}

Endpoints QuantizeEndpoints(const ColorF& a, const ColorF& b) {
  Endpoints e;
  for (size_t c = 0; c < 3; ++c) {
    e.a[c] = Quantize(std::clamp(a[c], 0.0f, 255.0f), kBitsA[c]);
    e.b[c] = Quantize(std::clamp(b[c], 0.0f, 255.0f), kBitsB[c]);
  }
  return e;
}

// The nearest palette entry of each pixel, and the total squared error.
int Select(const BlockPixels& pixels, const Endpoints& e, std::array<uint8_t, 16>& selectors) {
  const std::array<Color, 4> palette = Palette(e);
  int total = 0;
  for (size_t i = 0; i < 16; ++i) {
    int best = INT32_MAX;
    for (uint8_t m = 0; m < 4; ++m) {
      int error = 0;
      for (size_t c = 0; c < 3; ++c) {
        const int d = palette[m][c] - static_cast<int>(pixels[i][c]);
        error += d * d;
      }
      if (error < best) best = error, selectors[i] = m;
    }
    total += best;
  }
  return total;
}

// The pixels' extremes along their principal axis.
Endpoints PrincipalAxisEndpoints(const BlockPixels& pixels) {
  ColorF mean{};
  for (size_t i = 0; i < 16; ++i) {
    for (size_t c = 0; c < 3; ++c) mean[c] += pixels[i][c] / 16.0f;
  }
  float covariance[3][3] = {};
  for (size_t i = 0; i < 16; ++i) {
    for (size_t r = 0; r < 3; ++r) {
      for (size_t c = 0; c < 3; ++c) covariance[r][c] += (pixels[i][r] - mean[r]) * (pixels[i][c] - mean[c]);
    }
  }
  ColorF axis{1.0f, 1.0f, 1.0f};
  for (int iteration = 0; iteration < 4; ++iteration) {
    ColorF next{};
    for (size_t r = 0; r < 3; ++r) {
      for (size_t c = 0; c < 3; ++c) next[r] += covariance[r][c] * axis[c];
    }
    const float length = std::max({std::fabs(next[0]), std::fabs(next[1]), std::fabs(next[2])});
    if (length < 1e-3f) break;
    for (size_t c = 0; c < 3; ++c) axis[c] = next[c] / length;
  }
  const float norm = axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2];
  float low = 0, high = 0;
  for (size_t i = 0; i < 16; ++i) {
    float t = 0;
    for (size_t c = 0; c < 3; ++c) t += (pixels[i][c] - mean[c]) * axis[c];
    low = std::min(low, t / norm);
    high = std::max(high, t / norm);
  }
  ColorF a, b;
  for (size_t c = 0; c < 3; ++c) a[c] = mean[c] + low * axis[c], b[c] = mean[c] + high * axis[c];
  return QuantizeEndpoints(a, b);
}

// Rounds channel `c` of both colours up or down, whichever of the four
// choices draws the pixels closest with the given weights.
void RoundChannel(const BlockPixels& pixels, const std::array<uint8_t, 16>& selectors, size_t c, float a, float b,
                  Endpoints& out) {
  const auto floorOf = [](float value, int bits) {
    const int top = (1 << bits) - 1;
    return std::clamp(static_cast<int>(std::floor(std::clamp(value, 0.0f, 255.0f) * static_cast<float>(top) / 255.0f)),
                      0, top);
  };
  const int lowA = floorOf(a, kBitsA[c]), lowB = floorOf(b, kBitsB[c]);
  int best = INT32_MAX;
  for (int qa = lowA; qa <= std::min(lowA + 1, (1 << kBitsA[c]) - 1); ++qa) {
    for (int qb = lowB; qb <= std::min(lowB + 1, (1 << kBitsB[c]) - 1); ++qb) {
      const int ea = Expand(qa, kBitsA[c]), eb = Expand(qb, kBitsB[c]);
      int error = 0;
      for (size_t i = 0; i < 16; ++i) {
        const int d = Blend(ea, eb, kWeights[selectors[i]]) - static_cast<int>(pixels[i][c]);
        error += d * d;
      }
      if (error < best) best = error, out.a[c] = qa, out.b[c] = qb;
    }
  }
}

// The colours that best fit the pixels for the chosen weights, by least
// squares; the endpoints unchanged when the weights do not determine them.
Endpoints RefitEndpoints(const BlockPixels& pixels, const std::array<uint8_t, 16>& selectors,
                         const Endpoints& current) {
  float aa = 0, ab = 0, bb = 0;
  ColorF ax{}, bx{};
  for (size_t i = 0; i < 16; ++i) {
    const float t = static_cast<float>(kWeights[selectors[i]]) / 8.0f, s = 1.0f - t;
    aa += s * s, ab += s * t, bb += t * t;
    for (size_t c = 0; c < 3; ++c) ax[c] += s * pixels[i][c], bx[c] += t * pixels[i][c];
  }
  const float determinant = aa * bb - ab * ab;
  if (std::fabs(determinant) < 1e-6f) return current;
  Endpoints refit;
  for (size_t c = 0; c < 3; ++c) {
    const float a = (bb * ax[c] - ab * bx[c]) / determinant, b = (aa * bx[c] - ab * ax[c]) / determinant;
    RoundChannel(pixels, selectors, c, a, b, refit);
  }
  return refit;
}

// Opaque flag, colour B, hard-transition flag, colour A, modulation flag 0.
uint64_t Pack(const Endpoints& e, const std::array<uint8_t, 16>& selectors) {
  const uint64_t a = (uint64_t(e.a[0]) << 9) | (uint64_t(e.a[1]) << 4) | uint64_t(e.a[2]);
  const uint64_t b = (uint64_t(e.b[0]) << 10) | (uint64_t(e.b[1]) << 5) | uint64_t(e.b[2]);
  uint64_t word = (uint64_t{1} << 63) | (b << 48) | (uint64_t{1} << 47) | (a << 33);
  for (size_t i = 0; i < 16; ++i) word |= uint64_t{selectors[i]} << (2 * i);
  return word;
}

// For a channel of `bitsA` bits in colour A, each weight and each 8-bit
// value: the stored pair whose blend comes nearest, and how near.
struct SolidFit {
  uint8_t a, b, error;
};
using SolidTable = std::array<std::array<SolidFit, 256>, 4>;

SolidTable MakeSolidTable(int bitsA) {
  SolidTable table;
  for (size_t m = 0; m < 4; ++m) {
    for (int v = 0; v < 256; ++v) {
      SolidFit best{0, 0, 255};
      for (int qa = 0; qa < (1 << bitsA); ++qa) {
        for (int qb = 0; qb < 32; ++qb) {
          const int d = std::abs(Blend(Expand(qa, bitsA), Expand(qb, 5), kWeights[m]) - v);
          if (d < best.error) best = {uint8_t(qa), uint8_t(qb), uint8_t(d)};
        }
      }
      table[m][static_cast<size_t>(v)] = best;
    }
  }
  return table;
}

// One colour for every pixel: the weight, and the pairs of stored colours
// whose blend comes nearest it.
Endpoints SolidEndpoints(const ColorF& color, std::array<uint8_t, 16>& selectors) {
  static const SolidTable kFive = MakeSolidTable(5), kFour = MakeSolidTable(4);
  Endpoints best{};
  int bestError = INT32_MAX;
  for (uint8_t m = 0; m < 4; ++m) {
    Endpoints e{};
    int error = 0;
    for (size_t c = 0; c < 3; ++c) {
      const SolidFit fit = (kBitsA[c] == 4 ? kFour : kFive)[m][static_cast<size_t>(color[c])];
      e.a[c] = fit.a, e.b[c] = fit.b;
      error += fit.error * fit.error;
    }
    if (error < bestError) bestError = error, best = e, selectors.fill(m);
  }
  return best;
}

bool IsSolid(const BlockPixels& pixels) {
  for (size_t i = 1; i < 16; ++i) {
    if (pixels[i] != pixels[0]) return false;
  }
  return true;
}

uint64_t EncodeBlock(const BlockPixels& pixels) {
  std::array<uint8_t, 16> selectors, bestSelectors;
  if (IsSolid(pixels)) {
    const Endpoints solid = SolidEndpoints(pixels[0], bestSelectors);
    return Pack(solid, bestSelectors);
  }
  Endpoints best = PrincipalAxisEndpoints(pixels);
  int bestError = Select(pixels, best, bestSelectors);
  for (int pass = 0; pass < 2 && bestError > 0; ++pass) {
    const Endpoints refit = RefitEndpoints(pixels, bestSelectors, best);
    const int error = Select(pixels, refit, selectors);
    if (error >= bestError) break;
    best = refit, bestError = error, bestSelectors = selectors;
  }
  return Pack(best, bestSelectors);
}

}  // namespace

void EncodePvrtc2Block(const uint8_t rgba[64], uint8_t word[8]) {
  BlockPixels pixels;
  for (size_t i = 0; i < 16; ++i) {
    for (size_t c = 0; c < 3; ++c) pixels[i][c] = static_cast<float>(rgba[4 * i + c]);
  }
  const uint64_t packed = EncodeBlock(pixels);
  for (size_t b = 0; b < 8; ++b) word[b] = static_cast<uint8_t>(packed >> (8 * b));
}

}  // namespace ovra::ktx2
