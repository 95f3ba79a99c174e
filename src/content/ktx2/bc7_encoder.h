#pragma once

#include <cstdint>

namespace ovra::ktx2 {

// Encodes one 4x4 block of RGBA pixels (row by row, 64 bytes) as a BC7
// block, in mode 6 (one RGBA line: 7-bit endpoints with p-bits, 4-bit
// indices) or mode 5 (an RGB line and a separate alpha range, 2-bit indices
// each), whichever fits better. Simple and fast rather than best: mode 6 is
// tried along the principal axis and along the bounding box's diagonal.
void EncodeBc7(const uint8_t rgba[64], uint8_t block[16]);

}  // namespace ovra::ktx2
