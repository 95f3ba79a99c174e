#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>

#include "content/ktx2/data_format.h"
#include "content/ktx2/ktx2_layout.h"
#include "content/ktx2/ktx2_texture.h"
#include "format/inflate.h"

namespace ovra::ktx2 {

namespace {

// The transcode targets the texture decoder maps to pixel formats.
bool IsTranscodeTarget(int target) {
  switch (target) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 13: case 18: case 20: case 21:  // NOLINT
      return true;
    default:
      return false;
  }
}

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
      if (ZSTD_isError(produced)) return ZSTD_getErrorCode(produced) == ZSTD_error_dstSize_tooSmall
                                            ? kDecompressLengthError
                                            : kFileDataError;
      return produced == range.uncompressedLength ? kSuccess : kDecompressLengthError;
    }
    case Supercompression::kZlib: {
      if (range.uncompressedLength == 0) return range.length == 0 ? kSuccess : kDecompressLengthError;
      const std::vector<uint8_t> inflated = InflateZlib(stored.data(), stored.size(), range.uncompressedLength);
      if (inflated.size() != range.uncompressedLength) return kDecompressLengthError;
      out.insert(out.end(), inflated.begin(), inflated.end());
      return kSuccess;
    }
    default:
      out.insert(out.end(), stored.begin(), stored.end());
      return kSuccess;
  }
}

class Ktx2Texture final : public Texture {
 public:
  Ktx2Texture(const Layout& layout, DataFormat format, std::vector<uint8_t> data)
      : width_(layout.width), height_(layout.height), format_(std::move(format)), data_(std::move(data)) {}

  uint32_t BaseWidth() const override { return width_; }
  uint32_t BaseHeight() const override { return height_; }
  uint32_t NumComponents() const override { return format_.ComponentCount(); }

  int Transcode(int target) override {
    if (!format_.IsBasisUniversal()) return kInvalidOperation;
    if (!IsTranscodeTarget(target)) return kInvalidValue;
    // The ETC1S and UASTC transcoders are not part of this build yet.
    return kUnsupportedFeature;
  }

  std::span<const uint8_t> ImageData() const override { return data_; }

 private:
  uint32_t width_;
  uint32_t height_;
  DataFormat format_;
  std::vector<uint8_t> data_;
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
  for (auto range = layout.levelRanges.rbegin(); range != layout.levelRanges.rend(); ++range) {
    if (const int result = LevelBytes(file, layout, *range, bytes); result != kSuccess) return result;
  }
  texture = std::make_unique<Ktx2Texture>(layout, std::move(format), std::move(bytes));
  return kSuccess;
}

}  // namespace ovra::ktx2
