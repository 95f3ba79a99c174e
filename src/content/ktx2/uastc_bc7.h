#pragma once

#include <cstdint>

#include "content/ktx2/uastc.h"

namespace ovra::ktx2 {

// Writes the BC7 block of the mode that shares the UASTC block's shape: one
// subset in mode 6; two weight planes in mode 5, the second plane's channel
// rotated into alpha; two or three subsets in modes 1, 3 or 7, or 2, with
// the BC7 partition that draws the same texels (every UASTC pattern has one).
// The UASTC endpoints are quantised to the mode and each texel's index chosen
// against `pixels`, the block as drawn (16 RGBA, row by row).
void TranscodeUastcToBc7(const UastcBlock& block, const uint8_t pixels[64], uint8_t out[16]);

}  // namespace ovra::ktx2
