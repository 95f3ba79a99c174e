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
  int indices[16] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};  // table 13, index 4 adds 0
  int error = INT_MAX;
};

// Fills the nearest index per value and the total squared error.
void Evaluate(const uint8_t values[16], Choice& choice) {
  const int8_t* modifiers = kEacModifiers[choice.table];
  choice.error = 0;
  for (int i = 0; i < 16; ++i) {
    int best = 0, bestError = INT_MAX;
    for (int index = 0; index < 8; ++index) {
      const int decoded = std::clamp(choice.base + modifiers[index] * choice.multiplier, 0, 255);
      const int d = decoded - values[i];
      if (d * d < bestError) {
        bestError = d * d;
        best = index;
      }
    }
    choice.indices[i] = best;
    choice.error += bestError;
  }
}

}  // namespace

void EncodeEac(const uint8_t values[16], uint8_t block[8]) {
  const auto [low, high] = std::minmax_element(values, values + 16);
  Choice best;
  best.base = *low;
  if (*low == *high) {
    best.error = 0;  // one value: table 13 holds a zero modifier
  } else {
    for (int table = 0; table < 16 && best.error > 0; ++table) {
      const int8_t* modifiers = kEacModifiers[table];
      const int span = modifiers[7] - modifiers[3];  // largest minus smallest
      const int ideal = std::max(1, (*high - *low + span / 2) / span);
      for (int multiplier = std::max(1, ideal - 1); multiplier <= std::min(15, ideal + 1); ++multiplier) {
        const int centre = (*low + *high + 1) / 2 - (modifiers[7] + modifiers[3]) * multiplier / 2;
        for (int base = centre - 2; base <= centre + 2; ++base) {
          Choice choice;
          choice.base = std::clamp(base, 0, 255);
          choice.multiplier = multiplier;
          choice.table = table;
          Evaluate(values, choice);
          if (choice.error < best.error) best = choice;
        }
      }
    }
  }
  // Big-endian: base, multiplier and table, then 3-bit indices column by column.
  uint64_t bits = (uint64_t(best.base) << 56) | (uint64_t(best.multiplier) << 52) | (uint64_t(best.table) << 48);
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) bits |= uint64_t(best.indices[4 * y + x]) << (45 - 3 * (4 * x + y));
  }
  for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
}

}  // namespace ovra::ktx2
