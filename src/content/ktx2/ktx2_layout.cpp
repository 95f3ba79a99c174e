#include "content/ktx2/ktx2_layout.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "content/ktx2/ktx2_texture.h"
#include "format/limits.h"

namespace ovra::ktx2 {

namespace {

constexpr uint8_t kIdentifier[12] = {0xAB, 'K', 'T', 'X', ' ', '2', '0', 0xBB, '\r', '\n', 0x1A, '\n'};
constexpr size_t kHeaderBytes = 80;
constexpr size_t kLevelIndexEntryBytes = 24;

uint32_t U32(std::span<const uint8_t> bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
  return value;
}

uint64_t U64(std::span<const uint8_t> bytes, size_t at) {
  return U32(bytes, at) | (uint64_t{U32(bytes, at + 4)} << 32);
}

// [offset, offset + length) inside a file of `size` bytes, without overflow.
bool Inside(uint64_t offset, uint64_t length, uint64_t size) { return offset <= size && length <= size - offset; }

int CheckDimensions(const Layout& layout) {
  if (layout.width == 0 || (layout.depth > 0 && layout.height == 0)) return kFileDataError;
  if (layout.faces != 1 && layout.faces != 6) return kFileDataError;
  if (layout.faces == 6 && (layout.width != layout.height || layout.depth > 0)) return kFileDataError;
  if (layout.depth > 0) return kUnsupportedTextureType;  // volume textures are not streamed
  const uint32_t largest = std::max(layout.width, layout.height);
  if (layout.levels > static_cast<uint32_t>(std::bit_width(largest))) return kFileDataError;
  if (largest > static_cast<uint32_t>(kMaxTextureSide)) return kOutOfMemory;
  return kSuccess;
}

int CheckSupercompression(uint32_t scheme, uint32_t vkFormat, uint64_t globalDataLength) {
  if (scheme > static_cast<uint32_t>(Supercompression::kZlib)) return kUnsupportedFeature;
  const bool basisLz = scheme == static_cast<uint32_t>(Supercompression::kBasisLz);
  // BasisLZ payloads have no Vulkan format and carry their codebooks as global data.
  if (basisLz && (vkFormat != 0 || globalDataLength == 0)) return kFileDataError;
  if (!basisLz && globalDataLength != 0) return kFileDataError;
  return kSuccess;
}

int ReadLevelRanges(std::span<const uint8_t> file, Layout& layout) {
  uint64_t inflated = 0;
  for (uint32_t level = 0; level < layout.levels; ++level) {
    const size_t at = kHeaderBytes + level * kLevelIndexEntryBytes;
    LevelRange range{U64(file, at), U64(file, at + 8), U64(file, at + 16)};
    if (!Inside(range.offset, range.length, file.size())) return kFileUnexpectedEof;
    if (layout.supercompression == Supercompression::kNone && range.uncompressedLength != range.length) {
      return kFileDataError;
    }
    // What a texture may need after inflating is bounded, so a forged
    // length cannot make the reader allocate without limit.
    if (range.uncompressedLength > kMaxEntryBytes - inflated) return kOutOfMemory;
    inflated += range.uncompressedLength;
    layout.levelRanges.push_back(range);
  }
  return kSuccess;
}

}  // namespace

int ReadLayout(std::span<const uint8_t> file, Layout& layout) {
  if (file.size() < sizeof kIdentifier || std::memcmp(file.data(), kIdentifier, sizeof kIdentifier) != 0) {
    return kUnknownFileFormat;
  }
  if (file.size() < kHeaderBytes) return kFileUnexpectedEof;
  layout = Layout{};
  layout.vkFormat = U32(file, 12);
  layout.typeSize = U32(file, 16);
  layout.width = U32(file, 20);
  layout.height = U32(file, 24);
  layout.depth = U32(file, 28);
  layout.layers = std::max(1u, U32(file, 32));
  layout.faces = U32(file, 36);
  layout.levels = std::max(1u, U32(file, 40));
  const uint32_t scheme = U32(file, 44);
  if (const int result = CheckDimensions(layout); result != kSuccess) return result;

  const uint64_t dfdOffset = U32(file, 48), dfdLength = U32(file, 52);
  const uint64_t sgdOffset = U64(file, 64), sgdLength = U64(file, 72);
  if (const int result = CheckSupercompression(scheme, layout.vkFormat, sgdLength); result != kSuccess) return result;
  layout.supercompression = static_cast<Supercompression>(scheme);
  if (file.size() < kHeaderBytes + uint64_t{layout.levels} * kLevelIndexEntryBytes) return kFileUnexpectedEof;
  if (!Inside(dfdOffset, dfdLength, file.size()) || !Inside(sgdOffset, sgdLength, file.size())) {
    return kFileUnexpectedEof;
  }
  if (dfdLength < 4) return kFileDataError;
  layout.dataFormatDescriptor = file.subspan(dfdOffset, dfdLength);
  layout.supercompressionGlobalData = file.subspan(sgdOffset, sgdLength);
  return ReadLevelRanges(file, layout);
}

}  // namespace ovra::ktx2
