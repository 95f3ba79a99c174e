#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace ovra::tools {

// Writes `bytes` to a temporary file beside `path` and renames it into place,
// so that `path` never holds a partial file. Throws std::runtime_error.
void WriteFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace ovra::tools
