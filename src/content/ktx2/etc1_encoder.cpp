#include "content/ktx2/etc1_encoder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace ovra::ktx2 {

const int kEtc1Modifiers[8][2] = {{2, 8}, {5, 17}, {9, 29}, {13, 42}, {18, 60}, {24, 80}, {33, 106}, {47, 183}};

namespace {

using Color = std::array<int, 3>;

// The modifier of each pixel index: 0 +a, 1 +b, 2 -a, 3 -b.
int Modifier(int table, int index) {
  const int step = kEtc1Modifiers[table][index & 1];
  return index < 2 ? step : -step;
}

// Texel (x, y) of half `half` of a block: side by side, or stacked if flipped.
void HalfTexel(bool flip, int half, int i, int& x, int& y) {
  x = flip ? i % 4 : 2 * half + i % 2;
  y = flip ? 2 * half + i / 4 : i / 2;
}

struct HalfFit {
  int table = 0;
  int error = INT_MAX;
  uint8_t indices[8] = {};
};

// The table and pixel indices that best draw one half from `base`. Each
// pixel takes the modifier nearest its mean offset from the base, which is
// the best one unless a channel clips.
HalfFit FitHalf(const uint8_t* rgba, bool flip, int half, const Color& base) {
  const uint8_t* pixels[8];
  int offsets[8];  // three times the mean offset
  for (int i = 0; i < 8; ++i) {
    int x, y;
    HalfTexel(flip, half, i, x, y);
    pixels[i] = rgba + 4 * (4 * y + x);
    offsets[i] = pixels[i][0] - base[0] + pixels[i][1] - base[1] + pixels[i][2] - base[2];
  }
  // The error grows with a table's distance from the pixels' spread: start
  // from the table nearest it and stop once tables get worse.
  int spread = 0;
  for (const int offset : offsets) spread += std::abs(offset);
  int start = 0;
  while (start < 7 && 3 * 8 * (kEtc1Modifiers[start][0] + kEtc1Modifiers[start][1]) < 2 * spread) ++start;
  HalfFit best;
  for (int step = 0; step < 8; ++step) {
    // start, start - 1, start + 1, start - 2, ...: nearest first
    const int table = start + ((step & 1) ? -(step + 1) / 2 : step / 2);
    if (table < 0 || table > 7) continue;
    const int small = kEtc1Modifiers[table][0], large = kEtc1Modifiers[table][1];
    const int threshold = 3 * (small + large);  // twice three times the midpoint
    HalfFit fit;
    fit.table = table;
    fit.error = 0;
    for (int i = 0; i < 8 && fit.error < best.error; ++i) {
      const int twice = 2 * offsets[i];
      const int index = twice >= 0 ? (twice >= threshold ? 1 : 0) : (twice <= -threshold ? 3 : 2);
      const int modifier = Modifier(table, index);
      for (size_t c = 0; c < 3; ++c) {
        const int d = std::clamp(base[c] + modifier, 0, 255) - pixels[i][c];
        fit.error += d * d;
      }
      fit.indices[i] = static_cast<uint8_t>(index);
    }
    if (fit.error < best.error) {
      best = fit;
    } else if (step >= 2) {
      break;
    }
  }
  return best;
}

std::array<float, 3> HalfMean(const uint8_t* rgba, bool flip, int half) {
  std::array<float, 3> mean{};
  for (int i = 0; i < 8; ++i) {
    int x, y;
    HalfTexel(flip, half, i, x, y);
    for (size_t c = 0; c < 3; ++c) mean[c] += rgba[4 * (4 * y + x) + static_cast<int>(c)] / 8.0f;
  }
  return mean;
}

int Quantize(float value, int bits) {
  const int top = (1 << bits) - 1;
  return std::clamp(static_cast<int>(std::lround(value * static_cast<float>(top) / 255.0f)), 0, top);
}

struct Candidate {
  int error = INT_MAX;
  uint8_t block[8] = {};
};

// Both halves' bases (quantised colours), packed with their fits.
Candidate Pack(bool flip, bool differential, const Color quantized[2], const HalfFit fits[2]) {
  Candidate candidate;
  candidate.error = fits[0].error + fits[1].error;
  for (size_t c = 0; c < 3; ++c) {
    candidate.block[c] = differential
                             ? static_cast<uint8_t>((quantized[0][c] << 3) | ((quantized[1][c] - quantized[0][c]) & 7))
                             : static_cast<uint8_t>((quantized[0][c] << 4) | quantized[1][c]);
  }
  candidate.block[3] =
      static_cast<uint8_t>((fits[0].table << 5) | (fits[1].table << 2) | (differential ? 2 : 0) | (flip ? 1 : 0));
  uint32_t msb = 0, lsb = 0;
  for (int half = 0; half < 2; ++half) {
    for (int i = 0; i < 8; ++i) {
      int x, y;
      HalfTexel(flip, half, i, x, y);
      const int bit = 4 * x + y;  // ETC1 numbers texels column by column
      const uint32_t index = fits[half].indices[i];
      msb |= (index >> 1) << bit;
      lsb |= (index & 1) << bit;
    }
  }
  candidate.block[4] = static_cast<uint8_t>(msb >> 8);
  candidate.block[5] = static_cast<uint8_t>(msb);
  candidate.block[6] = static_cast<uint8_t>(lsb >> 8);
  candidate.block[7] = static_cast<uint8_t>(lsb);
  return candidate;
}

// The best block for one flip and mode; no block (an infinite error) when
// the halves' colours are too far apart for differential mode.
Candidate Encode(const uint8_t* rgba, bool flip, bool differential) {
  const int bits = differential ? 5 : 4;
  Color quantized[2], base[2];
  for (int half = 0; half < 2; ++half) {
    const std::array<float, 3> mean = HalfMean(rgba, flip, half);
    for (size_t c = 0; c < 3; ++c) {
      quantized[half][c] = Quantize(mean[c], bits);
      base[half][c] = bits == 5 ? (quantized[half][c] << 3) | (quantized[half][c] >> 2)
                                : (quantized[half][c] << 4) | quantized[half][c];
    }
  }
  if (differential) {
    for (size_t c = 0; c < 3; ++c) {
      const int delta = quantized[1][c] - quantized[0][c];
      if (delta < -4 || delta > 3) return {};
    }
  }
  const HalfFit fits[2] = {FitHalf(rgba, flip, 0, base[0]), FitHalf(rgba, flip, 1, base[1])};
  return Pack(flip, differential, quantized, fits);
}

}  // namespace

void EncodeEtc1(const uint8_t rgba[64], uint8_t block[8]) {
  Candidate best;
  for (const bool flip : {false, true}) {
    for (const bool differential : {true, false}) {
      const Candidate candidate = Encode(rgba, flip, differential);
      if (candidate.error < best.error) best = candidate;
    }
  }
  std::copy(best.block, best.block + 8, block);
}

}  // namespace ovra::ktx2
