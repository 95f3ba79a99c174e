#include "content/ktx2/astc.h"

namespace ovra::ktx2 {

namespace {

// The B term of endpoint unquantization, by the spelling of the ASTC tables:
// nine characters, most significant first; '0' is a zero bit and a letter is
// that bit of the value's plain part ('a' its lowest).
constexpr int SpelledBits(const char* spelling, int plain) {
  int value = 0;
  for (int i = 0; i < 9; ++i) {
    const char c = spelling[i];
    value = (value << 1) | (c == '0' ? 0 : (plain >> (c - 'a')) & 1);
  }
  return value;
}

struct Unquantization {
  const char* spelling;
  int c;
};

// Indexed by the number of plain bits, 1 to 6 (trits) or 5 (quints).
constexpr Unquantization kTritTerms[7] = {{"", 0},           {"000000000", 204}, {"b000b0bb0", 93}, {"cb000cbcb", 44},
                                          {"dcb000dcb", 22}, {"edcb000ed", 11},  {"fedcb000f", 5}};
constexpr Unquantization kQuintTerms[6] = {{"", 0},           {"000000000", 113}, {"b0000bb00", 54},
                                           {"cb0000cbc", 26}, {"dcb0000dc", 13},  {"edcb0000e", 6}};

uint32_t Hash52(uint32_t p) {
  p ^= p >> 15;
  p -= p << 17;
  p += p << 7;
  p += p << 4;
  p ^= p >> 5;
  p += p << 16;
  p ^= p >> 7;
  p ^= p >> 3;
  p ^= p << 6;
  p ^= p >> 17;
  return p;
}

}  // namespace

uint8_t UnquantizeEndpoint(int value, AstcRange range) {
  if (!range.trits && !range.quints) {
    int replicated = 0, filled = 0;
    for (; filled < 8; filled += range.bits) replicated = (replicated << range.bits) | value;
    return static_cast<uint8_t>(replicated >> (filled - 8));
  }
  const int plain = value & ((1 << range.bits) - 1);
  const int digit = value >> range.bits;
  const Unquantization& terms = range.trits ? kTritTerms[range.bits] : kQuintTerms[range.bits];
  const int a = (plain & 1) ? 0x1FF : 0;
  int t = digit * terms.c + SpelledBits(terms.spelling, plain);
  t ^= a;
  return static_cast<uint8_t>((a & 0x80) | (t >> 2));
}

int UnquantizeWeight(int value, int bits) {
  int replicated = 0, filled = 0;
  for (; filled < 6; filled += bits) replicated = (replicated << bits) | value;
  const int weight = replicated >> (filled - 6);
  return weight > 32 ? weight + 1 : weight;
}

int AstcPartition(int seed, int x, int y, int partitionCount) {
  // 4x4 blocks count as small: coordinates are doubled.
  x <<= 1;
  y <<= 1;
  seed += (partitionCount - 1) * 1024;
  const uint32_t r = Hash52(static_cast<uint32_t>(seed));
  int s[8];
  for (int i = 0; i < 8; ++i) s[i] = static_cast<int>((r >> (4 * i)) & 0xF);
  for (int& v : s) v *= v;
  int sh1, sh2;
  if (seed & 1) {
    sh1 = (seed & 2) ? 4 : 5;
    sh2 = partitionCount == 3 ? 6 : 5;
  } else {
    sh1 = partitionCount == 3 ? 6 : 5;
    sh2 = (seed & 2) ? 4 : 5;
  }
  for (int i = 0; i < 8; ++i) s[i] >>= (i % 2 == 0) ? sh1 : sh2;
  int a = (s[0] * x + s[1] * y + static_cast<int>(r >> 14)) & 0x3F;
  int b = (s[2] * x + s[3] * y + static_cast<int>(r >> 10)) & 0x3F;
  int c = (s[4] * x + s[5] * y + static_cast<int>(r >> 6)) & 0x3F;
  int d = (s[6] * x + s[7] * y + static_cast<int>(r >> 2)) & 0x3F;
  if (partitionCount < 4) d = 0;
  if (partitionCount < 3) c = 0;
  if (a >= b && a >= c && a >= d) return 0;
  if (b >= c && b >= d) return 1;
  return c >= d ? 2 : 3;
}

}  // namespace ovra::ktx2
