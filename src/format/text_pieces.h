#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ovra {

// Cuts `text` at each `delimiter` the way a line reader reads lines: empty
// pieces between consecutive delimiters are kept, a trailing delimiter adds
// no empty piece, and an empty text has no pieces.
std::vector<std::string_view> SplitPieces(std::string_view text, char delimiter);

// How many pieces SplitPieces would cut, without storing any.
size_t CountPieces(std::string_view text, char delimiter);

// The pieces of SplitPieces one at a time, for texts too large to hold them all.
class PieceCursor {
 public:
  PieceCursor(std::string_view text, char delimiter) : rest_(text), delimiter_(delimiter) {}
  // The next piece, or false after the last.
  bool Next(std::string_view& piece);

 private:
  std::string_view rest_;
  char delimiter_;
};

// Unsigned decimal digits after any leading zeros; empty or all zeros is 0.
// Anything else, or a value beyond 64 bits, is not a number.
std::optional<uint64_t> ParseDecimal(std::string_view text);

}  // namespace ovra
