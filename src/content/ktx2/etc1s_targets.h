#pragma once

#include <cstdint>
#include <vector>

#include "content/ktx2/etc1s.h"

namespace ovra::ktx2 {

// One decoded ETC1S image: its blocks, and those of its alpha slice if any.
struct Etc1sImageBlocks {
  uint32_t width = 0, height = 0;  // in pixels
  uint32_t blocksX = 0, blocksY = 0;
  std::vector<Etc1sBlock> rgb;
  std::vector<Etc1sBlock> alpha;  // empty without an alpha slice
};

// Appends the image in the transcode target `target` (a KTX-Software
// transcode format number; ETC1S reaches them all). False for any other.
bool WriteEtc1sImage(const Etc1sGlobalData& data, const Etc1sImageBlocks& image, int target, std::vector<uint8_t>& out);

}  // namespace ovra::ktx2
