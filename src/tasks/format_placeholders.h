#pragma once

#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace vandu {

// Copies `pattern`, replacing each "{}" by the next argument in order; a "{}"
// without an argument left becomes "!!PARAMETER!!", surplus arguments are
// ignored.
std::string FormatPlaceholderTexts(std::string_view pattern, std::span<const std::string> arguments);

// The arguments are turned into text by stream insertion.
template <typename... Args>
std::string FormatPlaceholders(std::string_view pattern, const Args&... args) {
  std::vector<std::string> texts;
  texts.reserve(sizeof...(args));
  auto toText = [](const auto& value) {
    std::ostringstream stream;
    stream << value;
    return stream.str();
  };
  (texts.push_back(toText(args)), ...);
  return FormatPlaceholderTexts(pattern, texts);
}

}  // namespace vandu
