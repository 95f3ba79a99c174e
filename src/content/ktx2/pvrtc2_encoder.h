#pragma once

#include <cstdint>

namespace ovra::ktx2 {

// Encodes 4x4 RGBA pixels (row by row; alpha is ignored) as one opaque
// PVRTC2 4bpp word with its hard-transition flag set, so that the block is
// drawn from its own two colours alone, as in a block format: no colour bleeds
// across block edges or wraps around the picture, which suits block-coded
// sources and pictures of any size, and lets words be encoded one at a time.
void EncodePvrtc2Block(const uint8_t rgba[64], uint8_t word[8]);

}  // namespace ovra::ktx2
