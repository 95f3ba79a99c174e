#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ovra::ktx2 {

enum class Supercompression : uint32_t { kNone = 0, kBasisLz = 1, kZstandard = 2, kZlib = 3 };

// Where one mip level's data lies in the file.
struct LevelRange {
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t uncompressedLength = 0;
};

// The header and indices of a KTX2 file, checked against the file's size.
struct Layout {
  uint32_t vkFormat = 0;
  uint32_t typeSize = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth = 0;
  uint32_t layers = 1;  // a count of 0 in the file means 1
  uint32_t faces = 1;
  uint32_t levels = 1;  // likewise
  Supercompression supercompression = Supercompression::kNone;
  std::span<const uint8_t> dataFormatDescriptor;
  std::span<const uint8_t> supercompressionGlobalData;
  std::vector<LevelRange> levelRanges;  // level 0 (the base) first
};

// Reads and checks the identifier, header, indices and level ranges. Returns
// an ErrorCode; `layout` is complete on kSuccess only.
int ReadLayout(std::span<const uint8_t> file, Layout& layout);

}  // namespace ovra::ktx2
