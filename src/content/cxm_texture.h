#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace cxm {

// One decoded image. Uncompressed pixels are 8 bits per channel, top row
// first, channels interleaved; `format` is a pixel format code of the public
// Texture record.
struct Texture {
  std::shared_ptr<const std::vector<uint8_t>> pixels = std::make_shared<const std::vector<uint8_t>>();
  uint64_t byteSize = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t format = 4;
  uint8_t flags = 0;
};

}  // namespace cxm
