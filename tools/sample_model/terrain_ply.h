#pragma once

#include <cstdint>
#include <filesystem>

namespace ovra::tools {

// Writes a rolling height field of at least `triangles` triangles over
// [-1000, 1000] x [-1000, 1000] as a binary PLY file, a large clean input for
// the packer. Throws std::runtime_error when the file cannot be written.
void WriteTerrainPly(const std::filesystem::path& path, uint64_t triangles);

}  // namespace ovra::tools
