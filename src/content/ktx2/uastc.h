#pragma once

#include <cstdint>

namespace ovra::ktx2 {

// A UASTC block's fields, unquantized: what drawing it or re-encoding it as
// another block format needs. Solid colour is one subset whose endpoints are
// both the colour, with weights 0.
struct UastcBlock {
  int subsets = 1;
  int seed = 0;           // the ASTC partition seed, with more than one subset
  int planeChannel = -1;  // the channel the second weight plane drives, or -1
  int weightBits = 0;     // as stored; 0 for solid colour
  uint8_t subsetOf[16] = {};
  uint8_t endpoints[3][2][4] = {};  // per subset, RGBA
  uint8_t weights[16][2] = {};      // per texel and plane, 0..64
};

// Reads a block. False for a block that no encoder writes: a partition
// pattern past its mode's table.
bool UnpackUastcBlock(const uint8_t block[16], UastcBlock& out);

// The 4x4 RGBA pixels (row by row) an ASTC decoder draws for the block.
void DrawUastcBlock(const UastcBlock& block, uint8_t rgba[64]);

// Decodes one 16-byte UASTC block to 4x4 RGBA pixels, row by row, as an ASTC
// decoder draws the equivalent ASTC block (UASTC is a subset of 4x4 LDR ASTC
// in a simpler packing). False for a block that no encoder writes: a
// partition pattern past its mode's table.
bool DecodeUastcBlock(const uint8_t block[16], uint8_t rgba[64]);

}  // namespace ovra::ktx2
