#include "content/ktx2/huffman.h"

#include <array>

namespace ovra::ktx2 {

namespace {

constexpr int kCodeLengthSymbols = 21;
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {17, 18, 19, 20, 0,  8, 7,  9, 6,  10, 5,
                                                          11, 4,  12, 3,  13, 2, 14, 1, 15, 16};
constexpr uint32_t kMaxSymbols = 16383;

// Expands the run-length coded code lengths; false when they do not add up.
bool ReadCodeLengths(BasisBitReader& reader, const HuffmanTable& lengthCode, std::vector<uint8_t>& lengths) {
  size_t filled = 0;
  while (filled < lengths.size()) {
    const int symbol = lengthCode.Decode(reader);
    if (symbol < 0 || reader.Failed()) return false;
    if (symbol <= 16) {
      lengths[filled++] = static_cast<uint8_t>(symbol);
      continue;
    }
    const bool repeat = symbol >= 19;
    uint32_t run = 0;
    if (symbol == 17) run = reader.Bits(3) + 3;
    if (symbol == 18) run = reader.Bits(7) + 11;
    if (symbol == 19) run = reader.Bits(2) + 3;
    if (symbol == 20) run = reader.Bits(7) + 7;
    if (run > lengths.size() - filled) return false;
    if (repeat && (filled == 0 || lengths[filled - 1] == 0)) return false;
    const uint8_t value = repeat ? lengths[filled - 1] : 0;
    for (uint32_t i = 0; i < run; ++i) lengths[filled++] = value;
  }
  return !reader.Failed();
}

}  // namespace

bool HuffmanTable::Build(std::span<const uint8_t> lengths) {
  std::fill(std::begin(counts_), std::end(counts_), 0);
  for (const uint8_t length : lengths) {
    if (length > kMaxCodeLength) return false;
    ++counts_[length];
  }
  counts_[0] = 0;
  // Kraft: the codes of each length must fit in what the shorter ones left.
  int32_t available = 1;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    available = available * 2 - counts_[length];
    if (available < 0) return false;
  }
  std::array<uint16_t, kMaxCodeLength + 2> next{};
  for (int length = 1; length <= kMaxCodeLength; ++length) next[length + 1] = next[length] + counts_[length];
  sorted_.assign(next[kMaxCodeLength + 1], 0);
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] != 0) sorted_[next[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
  }
  symbolCount_ = lengths.size();
  return !sorted_.empty();
}

int HuffmanTable::Decode(BasisBitReader& reader) const {
  // Canonical codes of one length are consecutive: walk the lengths, keeping
  // the first code and the first sorted symbol of the current length.
  int32_t code = 0, first = 0, index = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    code |= static_cast<int32_t>(reader.Bit());
    const int32_t count = counts_[length];
    if (code - first < count) return sorted_[static_cast<size_t>(index + code - first)];
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  return -1;
}

bool ReadHuffmanTable(BasisBitReader& reader, HuffmanTable& table) {
  const uint32_t symbols = reader.Bits(14);
  const uint32_t lengthCodes = reader.Bits(5);
  if (symbols == 0 || symbols > kMaxSymbols || lengthCodes == 0 || lengthCodes > kCodeLengthSymbols) return false;
  uint8_t lengthCodeSizes[kCodeLengthSymbols] = {};
  for (uint32_t i = 0; i < lengthCodes; ++i)
    lengthCodeSizes[kCodeLengthOrder[i]] = static_cast<uint8_t>(reader.Bits(3));
  HuffmanTable lengthCode;
  if (reader.Failed() || !lengthCode.Build(lengthCodeSizes)) return false;
  std::vector<uint8_t> lengths(symbols, 0);
  return ReadCodeLengths(reader, lengthCode, lengths) && table.Build(lengths);
}

}  // namespace ovra::ktx2
