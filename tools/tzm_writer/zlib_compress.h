#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ovra::tools {

// One zlib stream (RFC 1950) holding `bytes`.
std::vector<uint8_t> CompressZlib(std::span<const uint8_t> bytes);

}  // namespace ovra::tools
