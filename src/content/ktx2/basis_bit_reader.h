#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ovra::ktx2 {

// Reads BasisLZ bit fields: least significant bit of each byte first. Reading
// past the end yields zeros and marks the reader failed, so a decoder checks
// once per unit of work instead of per bit.
class BasisBitReader {
 public:
  explicit BasisBitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint32_t Bit() {
    if (position_ >= bytes_.size() * 8) {
      failed_ = true;
      return 0;
    }
    const uint32_t bit = (bytes_[position_ >> 3] >> (position_ & 7)) & 1u;
    ++position_;
    return bit;
  }

  // `count` bits (at most 32), the first read being the least significant.
  uint32_t Bits(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value |= Bit() << i;
    return value;
  }

  bool Failed() const { return failed_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
  bool failed_ = false;
};

}  // namespace ovra::ktx2
