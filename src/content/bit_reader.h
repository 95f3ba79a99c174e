#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovra {

// Reads a byte buffer as one bit string, most significant bit of each byte
// first, in fields of 1 to 24 bits.
//
// Unread bits wait left-aligned in a 64-bit buffer that is refilled 8 bytes
// at a time, so most reads are a test and two shifts. Read<true> checks every
// field against the end of the buffer; a field that does not fit sets
// Failed() and reads 0. Read<false> and Peek check nothing: callers use them
// only after HasHeadroom(n) confirmed that n more bits, and the 8-byte loads
// behind them, lie inside the buffer.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <bool kChecked>
  uint32_t Read(unsigned bits) {
    if constexpr (kChecked) {
      if (bits > RemainingBits()) {
        failed_ = true;
        return 0;
      }
    }
    if (bufferBits_ < bits) Refill<kChecked>();
    return Take(bits);
  }

  // The next 1 to 32 bits without consuming them; unchecked.
  uint32_t Peek(unsigned bits) {
    if (bufferBits_ < bits) Refill<false>();
    return static_cast<uint32_t>(buffer_ >> (64 - bits));
  }

  // Consumes bits already seen through Peek.
  void Skip(unsigned bits) {
    buffer_ <<= bits;
    bufferBits_ -= bits;
  }

  // How many units of at most `unitBits` each the buffer surely holds, with
  // room left for the loads that read them.
  uint64_t UnitsWithHeadroom(uint64_t unitBits) const {
    const uint64_t remaining = RemainingBits();
    return remaining > kHeadroomBits ? (remaining - kHeadroomBits) / unitBits : 0;
  }
  uint64_t RemainingBits() const { return uint64_t{size_} * 8 - Cursor(); }
  bool AtEnd() const { return RemainingBits() == 0; }
  // The byte the cursor stands at, for a caller that knows it stands on a
  // byte boundary, and the way back to the bit reader after reading bytes.
  size_t AlignedByte() const { return static_cast<size_t>(Cursor() / 8); }
  void SeekToByte(size_t offset) {
    next_ = offset;
    buffer_ = 0;
    bufferBits_ = 0;
  }
  bool Failed() const { return failed_; }
  void AlignToByte() { Skip(bufferBits_ & 7); }

 private:
  static constexpr uint64_t kHeadroomBits = 128;

  uint64_t Cursor() const { return uint64_t{next_} * 8 - bufferBits_; }

  uint32_t Take(unsigned bits) {
    const auto value = static_cast<uint32_t>(buffer_ >> (64 - bits));
    Skip(bits);
    return value;
  }

  // Tops the buffer up to at least 56 bits. Loading 8 bytes may pick up bits
  // that are already in the buffer; they are the same bits, so or-ing them in
  // again changes nothing.
  template <bool kChecked>
  void Refill() {
    if (!kChecked || next_ + 8 <= size_) {
      uint64_t word;
      std::memcpy(&word, data_ + next_, sizeof word);
      buffer_ |= __builtin_bswap64(word) >> bufferBits_;
      next_ += (63 - bufferBits_) >> 3;
      bufferBits_ |= 56;
      return;
    }
    while (bufferBits_ <= 56 && next_ < size_) {
      buffer_ |= uint64_t{data_[next_++]} << (56 - bufferBits_);
      bufferBits_ += 8;
    }
  }

  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;      // next byte to load
  uint64_t buffer_ = 0;  // unread bits, left-aligned
  unsigned bufferBits_ = 0;
  bool failed_ = false;
};

// Reads fields of whole bytes (8 to 24 bits), most significant byte first,
// from a byte-aligned position: BitReader's unchecked interface without the
// buffer to refill. Checks nothing; callers count their units first, as for
// BitReader, and every read loads four bytes.
class ByteReader {
 public:
  explicit ByteReader(const uint8_t* at) : at_(at) {}

  template <bool kChecked>
  uint32_t Read(unsigned bits) {
    static_assert(!kChecked, "byte reads are unchecked");
    const uint32_t value = Peek(bits);
    Skip(bits);
    return value;
  }

  uint32_t Peek(unsigned bits) const {
    uint32_t word;
    std::memcpy(&word, at_, sizeof word);
    return __builtin_bswap32(word) >> (32 - bits);
  }

  void Skip(unsigned bits) { at_ += bits / 8; }
  const uint8_t* Position() const { return at_; }

 private:
  const uint8_t* at_;
};

}  // namespace ovra
