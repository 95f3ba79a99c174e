#include "format/text_pieces.h"

#include <algorithm>
#include <limits>

namespace ovra {

bool PieceCursor::Next(std::string_view& piece) {
  if (rest_.empty()) return false;
  const size_t end = rest_.find(delimiter_);
  if (end == std::string_view::npos) {
    piece = rest_;
    rest_ = {};
  } else {
    piece = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
  }
  return true;
}

std::vector<std::string_view> SplitPieces(std::string_view text, char delimiter) {
  std::vector<std::string_view> pieces;
  PieceCursor cursor(text, delimiter);
  for (std::string_view piece; cursor.Next(piece);) pieces.push_back(piece);
  return pieces;
}

size_t CountPieces(std::string_view text, char delimiter) {
  const auto delimiters = static_cast<size_t>(std::count(text.begin(), text.end(), delimiter));
  return delimiters + (!text.empty() && text.back() != delimiter ? 1 : 0);
}

std::optional<uint64_t> ParseDecimal(std::string_view text) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t value = 0;
  for (char c : text.substr(std::min(text.find_first_not_of('0'), text.size()))) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace ovra
