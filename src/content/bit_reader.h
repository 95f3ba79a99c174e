#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovra {

// Reads a byte buffer as one bit string, most significant bit of each byte
// first, in fields of 1 to 24 bits.
//
// Read<true> checks every field against the end of the buffer; a field that
// does not fit sets Failed() and reads 0. Read<false> checks nothing: callers
// use it only after HasHeadroom(n) confirmed that n more bits, and the 8-byte
// loads behind them, lie inside the buffer.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size), totalBits_(uint64_t{size} * 8) {}

  template <bool kChecked>
  uint32_t Read(unsigned bits) {
    if constexpr (kChecked) {
      if (bits > RemainingBits()) {
        failed_ = true;
        cursor_ = totalBits_;
        return 0;
      }
      if ((cursor_ >> 3) + 8 > size_) return Take(bits, LoadTail());
    }
    return Take(bits, LoadWord());
  }

  bool HasHeadroom(uint64_t bits) const { return RemainingBits() >= bits + 64; }
  uint64_t RemainingBits() const { return totalBits_ - cursor_; }
  bool AtEnd() const { return cursor_ >= totalBits_; }
  bool Failed() const { return failed_; }
  void AlignToByte() { cursor_ = (cursor_ + 7) & ~uint64_t{7}; }
  void Skip(uint64_t bits) { cursor_ += bits; }

 private:
  // The 8 bytes at the cursor's byte, as a big-endian number.
  uint64_t LoadWord() const {
    uint64_t word;
    std::memcpy(&word, data_ + (cursor_ >> 3), sizeof word);
    return __builtin_bswap64(word);
  }

  // As LoadWord, with the bytes past the end read as zero.
  uint64_t LoadTail() const {
    uint64_t word = 0;
    for (size_t i = cursor_ >> 3, shift = 56; i < size_; ++i, shift -= 8) {
      word |= uint64_t{data_[i]} << shift;
    }
    return word;
  }

  uint32_t Take(unsigned bits, uint64_t word) {
    const auto value = static_cast<uint32_t>((word << (cursor_ & 7)) >> (64 - bits));
    cursor_ += bits;
    return value;
  }

  const uint8_t* data_;
  size_t size_;
  uint64_t totalBits_;
  uint64_t cursor_ = 0;
  bool failed_ = false;
};

}  // namespace ovra
