#include "tasks/format_placeholders.h"

#include <gtest/gtest.h>

namespace vandu {
namespace {

struct Case {
  const char* pattern;
  std::vector<std::string> arguments;
  const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << '"' << c.pattern << '"'; }

class FormatPlaceholdersTest : public testing::TestWithParam<Case> {};

TEST_P(FormatPlaceholdersTest, FillsPlaceholdersInOrder) {
  const Case& c = GetParam();
  EXPECT_EQ(FormatPlaceholderTexts(c.pattern, c.arguments), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Patterns, FormatPlaceholdersTest,
                         testing::Values(Case{"plain text", {}, "plain text"}, Case{"{}", {"a"}, "a"},
                                         Case{"x{}y{}z", {"1", "2"}, "x1y2z"},
                                         Case{"a {} b {} c", {"one"}, "a one b !!PARAMETER!! c"},
                                         Case{"{}{}", {}, "!!PARAMETER!!!!PARAMETER!!"},
                                         Case{"only {}", {"1", "2", "3"}, "only 1"}, Case{"{ } {", {"x"}, "{ } {"},
                                         Case{"{{}}", {"x"}, "{x}"}, Case{"", {"x"}, ""},
                                         // An argument that itself looks like a placeholder is not expanded again.
                                         Case{"{} {}", {"{}", "b"}, "{} b"}),
                         [](const testing::TestParamInfo<Case>& test) { return "Case" + std::to_string(test.index); });

TEST(FormatPlaceholders, TurnsArgumentsIntoTextByStreaming) {
  EXPECT_EQ(FormatPlaceholders("{}: {}.", 42, "text"), "42: text.");
  EXPECT_EQ(FormatPlaceholders("{} and {}", 1.5), "1.5 and !!PARAMETER!!");
}

}  // namespace
}  // namespace vandu
