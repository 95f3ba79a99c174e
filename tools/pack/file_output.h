#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace ovra::tools {

// Writes `bytes` to `path` so that it never holds a partial file: a regular
// file (or none yet) is written beside it under a temporary name and renamed
// into place; a symbolic link is written through to the file it names; a
// device or pipe is written to directly. Throws std::runtime_error naming
// the path and the system's reason.
void WriteFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Throws std::runtime_error when `output` is the same file as one of
// `inputs` (through any link or alias), which writing would destroy.
void RefuseToOverwriteInputs(const std::filesystem::path& output, const std::vector<std::filesystem::path>& inputs);

}  // namespace ovra::tools
