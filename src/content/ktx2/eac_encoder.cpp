#include "content/ktx2/eac_encoder.h"

#include <algorithm>
#include <climits>

namespace ovra::ktx2 {

const int8_t kEacModifiers[16][8] = {
    {-3, -6, -9, -15, 2, 5, 8, 14}, {-3, -7, -10, -13, 2, 6, 9, 12}, {-2, -5, -8, -13, 1, 4, 7, 12},
    {-2, -4, -6, -13, 1, 3, 5, 12}, {-3, -6, -8, -12, 2, 5, 7, 11},  {-3, -7, -9, -11, 2, 6, 8, 10},
    {-4, -7, -8, -11, 3, 6, 7, 10}, {-3, -5, -8, -11, 2, 4, 7, 10},  {-2, -6, -8, -10, 1, 5, 7, 9},
    {-2, -5, -8, -10, 1, 4, 7, 9},  {-2, -4, -8, -10, 1, 3, 7, 9},   {-2, -5, -7, -10, 1, 4, 6, 9},
    {-3, -4, -7, -10, 2, 3, 6, 9},  {-1, -2, -3, -10, 0, 1, 2, 9},   {-4, -6, -8, -9, 3, 5, 7, 8},
    {-3, -5, -7, -9, 2, 4, 6, 8},
};

namespace {

struct Choice {
  int base = 0, multiplier = 1, table = 13;
  uint8_t indices[16] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};  // table 13, index 4 adds 0
  int error = INT_MAX;
};

// The total squared error of drawing the values with base, multiplier and
// table, and each value's nearest index; gives up (returning `limit` or
// more) once the error reaches `limit`.
int Evaluate(const uint8_t values[16], int base, int multiplier, int table, int limit, uint8_t indices[16]) {
  int decoded[8];
  for (int index = 0; index < 8; ++index) {
    decoded[index] = std::clamp(base + kEacModifiers[table][index] * multiplier, 0, 255);
  }
  int error = 0;
  for (int i = 0; i < 16 && error < limit; ++i) {
    int best = 0, bestError = INT_MAX;
    for (int index = 0; index < 8; ++index) {
      const int d = decoded[index] - values[i];
      if (d * d < bestError) bestError = d * d, best = index;
    }
    indices[i] = static_cast<uint8_t>(best);
    error += bestError;
  }
  return error;
}

// The multiplier that makes a table span low..high, and the base that
// centres it there.
void Fit(int table, int low, int high, int& multiplier, int& base) {
  const int8_t* modifiers = kEacModifiers[table];
  const int span = modifiers[7] - modifiers[3];  // largest minus smallest
  multiplier = std::clamp((high - low + span / 2) / span, 1, 15);
  base = (low + high + 1) / 2 - (modifiers[7] + modifiers[3]) * multiplier / 2;
}

void Try(const uint8_t values[16], int base, int multiplier, int table, Choice& best) {
  uint8_t indices[16];
  const int error = Evaluate(values, base, multiplier, table, best.error, indices);
  if (error < best.error) {
    best.base = base, best.multiplier = multiplier, best.table = table, best.error = error;
    std::copy(indices, indices + 16, best.indices);
  }
}

// Every table spanning the values, then the best of them with the
// multipliers and bases around its own.
Choice Search(const uint8_t values[16], int low, int high) {
  Choice best;
  best.base = low;
  if (low == high) {
    best.error = 0;  // one value: table 13 holds a zero modifier
    return best;
  }
  for (int table = 0; table < 16 && best.error > 0; ++table) {
    int multiplier, base;
    Fit(table, low, high, multiplier, base);
    Try(values, std::clamp(base, 0, 255), multiplier, table, best);
  }
  const int table = best.table;
  int ideal, centre;
  Fit(table, low, high, ideal, centre);
  for (int multiplier = std::max(1, ideal - 1); multiplier <= std::min(15, ideal + 1); ++multiplier) {
    const int shifted = centre + (ideal - multiplier) * (kEacModifiers[table][7] + kEacModifiers[table][3]) / 2;
    for (int base = std::max(0, shifted - 2); base <= std::min(255, shifted + 2) && best.error > 0; ++base) {
      Try(values, base, multiplier, table, best);
    }
  }
  return best;
}

}  // namespace

void EncodeEac(const uint8_t values[16], uint8_t block[8]) {
  const auto [low, high] = std::minmax_element(values, values + 16);
  const Choice best = Search(values, *low, *high);
  // Big-endian: base, multiplier and table, then 3-bit indices column by column.
  uint64_t bits = (uint64_t(best.base) << 56) | (uint64_t(best.multiplier) << 52) | (uint64_t(best.table) << 48);
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) bits |= uint64_t(best.indices[4 * y + x]) << (45 - 3 * (4 * x + y));
  }
  for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
}

}  // namespace ovra::ktx2
