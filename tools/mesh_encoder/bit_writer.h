#pragma once

#include <cstdint>
#include <vector>

namespace ovra::tools {

// Appends fields of 1 to 32 bits, most significant bit first.
class BitWriter {
 public:
  void Write(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) WriteBit((value >> i) & 1u);
  }
  // Pads with zero bits up to the next byte.
  void AlignToByte() {
    while (bitCount_ % 8 != 0) WriteBit(0);
  }
  void WriteBytes(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) Write(static_cast<uint8_t>(text[i]), 8);
  }
  std::vector<uint8_t> Take() {
    AlignToByte();
    return std::move(bytes_);
  }

 private:
  void WriteBit(uint32_t bit) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(bit << (7 - bitCount_ % 8));
    ++bitCount_;
  }

  std::vector<uint8_t> bytes_;
  uint64_t bitCount_ = 0;
};

}  // namespace ovra::tools
