#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ovra::ktx2 {

// Whether WriteUastcImage writes `target` (a KTX-Software transcode format
// number). PVRTC2 is not among them, as KTX-Software does not offer it.
bool IsUastcTarget(int target);

// Appends the image of `width` x `height` pixels whose UASTC blocks are
// `blocks` (16 bytes each, row by row) in `target`. False when `blocks` is
// not the image's size or holds a block no encoder writes.
bool WriteUastcImage(std::span<const uint8_t> blocks, uint32_t width, uint32_t height, int target,
                     std::vector<uint8_t>& out);

}  // namespace ovra::ktx2
