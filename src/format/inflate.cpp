#include "format/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace ovra {

namespace {

size_t GrowCapacity(size_t capacity, size_t maxOutput) {
  if (capacity > maxOutput / 3) return maxOutput;
  return capacity * 3;
}

}  // namespace

std::vector<uint8_t> InflateZlib(const uint8_t* bytes, size_t length, size_t maxOutput) {
  constexpr size_t kZlibMax = std::numeric_limits<uLong>::max();
  if (length == 0 || length > kZlibMax) return {};
  maxOutput = std::min(maxOutput, kZlibMax);
  size_t capacity = length > maxOutput / 5 ? maxOutput : length * 5;
  std::vector<uint8_t> output;
  for (;;) {
    output.resize(capacity);
    uLongf produced = capacity;
    const int status = uncompress(output.data(), &produced, bytes, static_cast<uLong>(length));
    if (status == Z_OK) {
      output.resize(produced);
      return output;
    }
    // Z_BUF_ERROR means the output is full; a truncated or corrupt stream is
    // Z_DATA_ERROR and ends here.
    if (status != Z_BUF_ERROR || capacity >= maxOutput) return {};
    capacity = GrowCapacity(capacity, maxOutput);
    // The next call starts over, so the old output need not be copied.
    output = {};
  }
}

}  // namespace ovra
