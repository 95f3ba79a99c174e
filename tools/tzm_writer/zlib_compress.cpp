#include "tzm_writer/zlib_compress.h"

#include <zlib.h>

#include <stdexcept>

namespace ovra::tools {

std::vector<uint8_t> CompressZlib(std::span<const uint8_t> bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("zlib compression failed");
  }
  out.resize(size);
  return out;
}

}  // namespace ovra::tools
