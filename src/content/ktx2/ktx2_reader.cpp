#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>

#include "content/ktx2/block_targets.h"
#include "content/ktx2/data_format.h"
#include "content/ktx2/etc1s_targets.h"
#include "content/ktx2/ktx2_layout.h"
#include "content/ktx2/ktx2_texture.h"
#include "content/ktx2/uastc_targets.h"
#include "format/inflate.h"

namespace ovra::ktx2 {

namespace {

// One level's bytes with Zstandard or ZLIB supercompression removed; BasisLZ
// and unsupercompressed data stay as stored. Returns an ErrorCode.
int LevelBytes(std::span<const uint8_t> file, const Layout& layout, const LevelRange& range,
               std::vector<uint8_t>& out) {
  const std::span<const uint8_t> stored = file.subspan(range.offset, range.length);
  switch (layout.supercompression) {
    case Supercompression::kZstandard: {
      const size_t start = out.size();
      out.resize(start + range.uncompressedLength);
      const size_t produced =
          ZSTD_decompress(out.data() + start, range.uncompressedLength, stored.data(), stored.size());
      if (ZSTD_isError(produced))
        return ZSTD_getErrorCode(produced) == ZSTD_error_dstSize_tooSmall ? kDecompressLengthError : kFileDataError;
      return produced == range.uncompressedLength ? kSuccess : kDecompressLengthError;
    }
    case Supercompression::kZlib: {
      if (range.uncompressedLength == 0) return range.length == 0 ? kSuccess : kDecompressLengthError;
      const std::vector<uint8_t> inflated = InflateZlib(stored.data(), stored.size(), range.uncompressedLength);
      if (inflated.size() != range.uncompressedLength) return kDecompressLengthError;
      out.insert(out.end(), inflated.begin(), inflated.end());
      return kSuccess;
    }
    default: out.insert(out.end(), stored.begin(), stored.end()); return kSuccess;
  }
}

// Where a level's bytes lie in the texture's data.
struct LevelSlot {
  size_t offset = 0;
  size_t length = 0;
};

class Ktx2Texture final : public Texture {
 public:
  Ktx2Texture(const Layout& layout, DataFormat format, std::vector<uint8_t> data, std::vector<LevelSlot> slots)
      : layout_(layout),
        format_(std::move(format)),
        globalData_(layout.supercompressionGlobalData.begin(), layout.supercompressionGlobalData.end()),
        data_(std::move(data)),
        slots_(std::move(slots)) {
    layout_.dataFormatDescriptor = {};  // these point into the caller's file
    layout_.supercompressionGlobalData = {};
  }

  uint32_t BaseWidth() const override { return layout_.width; }
  uint32_t BaseHeight() const override { return layout_.height; }
  uint32_t NumComponents() const override { return format_.ComponentCount(); }

  int Transcode(int target) override {
    if (!format_.IsBasisUniversal() || transcoded_) return kInvalidOperation;
    if (!IsTranscodeTarget(target)) return kInvalidValue;
    if (format_.colorModel == kModelEtc1s) return TranscodeEtc1s(target);
    return IsUastcTarget(target) ? TranscodeUastc(target) : kUnsupportedFeature;
  }

  std::span<const uint8_t> ImageData() const override { return data_; }

 private:
  int TranscodeEtc1s(int target) {
    const size_t imagesPerLevel = size_t{layout_.layers} * layout_.faces;
    Etc1sGlobalData global;
    if (!ReadEtc1sGlobalData(globalData_, imagesPerLevel * layout_.levels, global)) return kTranscodeFailed;
    std::vector<uint8_t> out;
    for (uint32_t level = layout_.levels; level-- > 0;) {
      const std::span<const uint8_t> bytes =
          std::span<const uint8_t>(data_).subspan(slots_[level].offset, slots_[level].length);
      for (size_t image = 0; image < imagesPerLevel; ++image) {
        const Etc1sImage& desc = global.images[level * imagesPerLevel + image];
        if (desc.IsPFrame()) return kUnsupportedFeature;
        Etc1sImageBlocks blocks = BlocksOfLevel(level);
        if (!DecodeSlice(global, bytes, desc.rgbOffset, desc.rgbLength, blocks, blocks.rgb)) return kTranscodeFailed;
        if (desc.HasAlpha() && !DecodeSlice(global, bytes, desc.alphaOffset, desc.alphaLength, blocks, blocks.alpha)) {
          return kTranscodeFailed;
        }
        WriteEtc1sImage(global, blocks, target, out);
      }
    }
    data_ = std::move(out);
    transcoded_ = true;
    return kSuccess;
  }

  int TranscodeUastc(int target) {
    const size_t imagesPerLevel = size_t{layout_.layers} * layout_.faces;
    std::vector<uint8_t> out;
    for (uint32_t level = layout_.levels; level-- > 0;) {
      const uint32_t width = std::max(1u, layout_.width >> level), height = std::max(1u, layout_.height >> level);
      const size_t imageBytes = size_t{(width + 3) / 4} * ((height + 3) / 4) * 16;
      const LevelSlot& slot = slots_[level];
      if (slot.length != imageBytes * imagesPerLevel) return kTranscodeFailed;
      for (size_t image = 0; image < imagesPerLevel; ++image) {
        const auto blocks = std::span<const uint8_t>(data_).subspan(slot.offset + image * imageBytes, imageBytes);
        if (!WriteUastcImage(blocks, width, height, target, out)) return kTranscodeFailed;
      }
    }
    data_ = std::move(out);
    transcoded_ = true;
    return kSuccess;
  }

  Etc1sImageBlocks BlocksOfLevel(uint32_t level) const {
    Etc1sImageBlocks blocks;
    blocks.width = std::max(1u, layout_.width >> level);
    blocks.height = std::max(1u, layout_.height >> level);
    blocks.blocksX = (blocks.width + 3) / 4;
    blocks.blocksY = (blocks.height + 3) / 4;
    return blocks;
  }

  static bool DecodeSlice(const Etc1sGlobalData& global, std::span<const uint8_t> level, uint64_t offset,
                          uint64_t length, const Etc1sImageBlocks& shape, std::vector<Etc1sBlock>& blocks) {
    if (offset > level.size() || length > level.size() - offset) return false;
    return DecodeEtc1sSlice(global, level.subspan(offset, length), shape.blocksX, shape.blocksY, blocks);
  }

  Layout layout_;
  DataFormat format_;
  std::vector<uint8_t> globalData_;
  std::vector<uint8_t> data_;
  std::vector<LevelSlot> slots_;  // by level, base first
  bool transcoded_ = false;
};

}  // namespace

int CreateFromMemory(const uint8_t* data, size_t size, std::unique_ptr<Texture>& texture) {
  if (data == nullptr) return kInvalidValue;
  const std::span<const uint8_t> file(data, size);
  Layout layout;
  if (const int result = ReadLayout(file, layout); result != kSuccess) return result;
  DataFormat format;
  if (!ReadDataFormat(layout.dataFormatDescriptor, format)) return kFileDataError;
  if (format.colorModel == kModelEtc1s && layout.supercompression != Supercompression::kBasisLz) {
    return kFileDataError;
  }
  if (format.colorModel == kModelUastc && layout.vkFormat != 0) return kFileDataError;
  // Smallest level first, as the transcoded data will be laid out.
  std::vector<uint8_t> bytes;
  std::vector<LevelSlot> slots(layout.levels);
  for (uint32_t level = layout.levels; level-- > 0;) {
    const size_t start = bytes.size();
    if (const int result = LevelBytes(file, layout, layout.levelRanges[level], bytes); result != kSuccess) {
      return result;
    }
    slots[level] = {start, bytes.size() - start};
  }
  texture = std::make_unique<Ktx2Texture>(layout, std::move(format), std::move(bytes), std::move(slots));
  return kSuccess;
}

}  // namespace ovra::ktx2
