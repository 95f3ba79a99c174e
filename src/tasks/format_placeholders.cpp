#include "tasks/format_placeholders.h"

namespace vandu {

std::string FormatPlaceholderTexts(std::string_view pattern, std::span<const std::string> arguments) {
  static constexpr std::string_view kPlaceholder = "{}";
  static constexpr std::string_view kMissing = "!!PARAMETER!!";
  std::string out;
  out.reserve(pattern.size());
  size_t next = 0;
  for (size_t pos = 0;;) {
    const size_t hit = pattern.find(kPlaceholder, pos);
    if (hit == std::string_view::npos) {
      out.append(pattern.substr(pos));
      return out;
    }
    out.append(pattern.substr(pos, hit - pos));
    out.append(next < arguments.size() ? std::string_view(arguments[next]) : kMissing);
    ++next;
    pos = hit + kPlaceholder.size();
  }
}

}  // namespace vandu
