#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "content/ktx2/basis_bit_reader.h"

namespace ovra::ktx2 {

// A canonical Huffman code of up to 16-bit codes, as Deflate defines it.
class HuffmanTable {
 public:
  static constexpr int kMaxCodeLength = 16;

  // Builds the code from one length per symbol (0: unused). False when the
  // lengths use no symbol or more codes than the lengths allow.
  bool Build(std::span<const uint8_t> lengths);

  // The next symbol, or -1 when the bits match no code.
  int Decode(BasisBitReader& reader) const;

  size_t SymbolCount() const { return symbolCount_; }

 private:
  uint16_t counts_[kMaxCodeLength + 1] = {};
  std::vector<uint16_t> sorted_;  // symbols ordered by code length, then value
  size_t symbolCount_ = 0;
};

// Reads a table stored as BasisLZ stores it: run-length and Huffman coded
// code lengths. False for a malformed table.
bool ReadHuffmanTable(BasisBitReader& reader, HuffmanTable& table);

}  // namespace ovra::ktx2
