#pragma once

#include <cstdint>

namespace ovra::ktx2 {

// ETC1 intensity modifier tables: the small (a) and large (b) step.
extern const int kEtc1Modifiers[8][2];

// Encodes 4x4 RGBA pixels (row by row; alpha is ignored) as one ETC1 block.
// Tries both flips in differential and individual mode, with each half's
// mean colour as its base and, per half, the table that fits it best.
void EncodeEtc1(const uint8_t rgba[64], uint8_t block[8]);

}  // namespace ovra::ktx2
