#pragma once

#include <cstdint>

namespace ovra::ktx2 {

// The EAC modifier tables, shared by the ETC2 alpha and the R11/RG11 blocks.
extern const int8_t kEacModifiers[16][8];

// Encodes 16 single-channel values (row by row) as one EAC block: the alpha
// block of ETC2 RGBA8, or an R11 block (whose 11-bit decode is the 8-bit one
// scaled). Fits every table to the values' span, then searches the
// multipliers and bases around the best table's.
void EncodeEac(const uint8_t values[16], uint8_t block[8]);

}  // namespace ovra::ktx2
