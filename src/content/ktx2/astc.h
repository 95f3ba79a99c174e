#pragma once

#include <cstdint>

namespace ovra::ktx2 {

// The ASTC arithmetic a UASTC decoder shares with ASTC: value ranges,
// unquantization and the partition function of 4x4 blocks.

// A range of integer-sequence-encoded values: 0 .. (3 or 5 or 1) * 2^bits - 1.
struct AstcRange {
  uint8_t trits = 0, quints = 0, bits = 0;

  constexpr int Levels() const { return (trits ? 3 : quints ? 5 : 1) << bits; }
  // Bits taken by `count` values.
  constexpr int EncodedBits(int count) const {
    return (count * 8 * trits + 4) / 5 + (count * 7 * quints + 2) / 3 + count * bits;
  }
};

// A colour endpoint value of `range`, unquantized to 0..255.
uint8_t UnquantizeEndpoint(int value, AstcRange range);

// A weight stored in `bits` plain bits (1 to 5), unquantized to 0..64.
int UnquantizeWeight(int value, int bits);

// The partition of texel (x, y) of a 4x4 block, for a pattern seed and a
// partition count of 2 to 4.
int AstcPartition(int seed, int x, int y, int partitionCount);

}  // namespace ovra::ktx2
