#include "format/text_pieces.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

TEST(SplitPieces, ReadsPiecesTheWayALineReaderReadsLines) {
  struct Case {
    const char* text;
    std::vector<std::string_view> pieces;
  };
  const Case cases[] = {
      {"", {}},         {";", {""}},       {"a", {"a"}}, {"a;", {"a"}}, {"a;b", {"a", "b"}}, {"a;;b;", {"a", "", "b"}},
      {";;", {"", ""}}, {";a", {"", "a"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitPieces(c.text, ';'), c.pieces) << '"' << c.text << '"';
    EXPECT_EQ(CountPieces(c.text, ';'), c.pieces.size()) << '"' << c.text << '"';
  }
}

TEST(ParseDecimal, AcceptsDigitsAfterLeadingZerosOnly) {
  struct Case {
    const char* text;
    std::optional<uint64_t> value;
  };
  const Case cases[] = {
      {"", 0},
      {"0", 0},
      {"0000", 0},
      {"0000512", 512},
      {"42", 42},
      {"18446744073709551615", 18446744073709551615u},
      {"00018446744073709551615", 18446744073709551615u},
      {"18446744073709551616", std::nullopt},  // beyond 64 bits
      {"99999999999999999999", std::nullopt},
      {"-1", std::nullopt},
      {"+1", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"12a", std::nullopt},
      {"x", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace ovra
