#pragma once

#include <cstdint>

namespace ovra::ktx2 {

// Decodes one 16-byte UASTC block to 4x4 RGBA pixels, row by row, as an ASTC
// decoder draws the equivalent ASTC block (UASTC is a subset of 4x4 LDR ASTC
// in a simpler packing). False for a block that no encoder writes: a
// partition pattern past its mode's table.
bool DecodeUastcBlock(const uint8_t block[16], uint8_t rgba[64]);

}  // namespace ovra::ktx2
