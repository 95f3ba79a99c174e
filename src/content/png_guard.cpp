#include "content/png_guard.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace ovra {

namespace {

constexpr std::array<uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t ReadBigEndian(const uint8_t* bytes) {
  return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

struct PngLayout {
  uint64_t rawBytesBound = 0;                        // filtered scanlines, with room for interlacing
  bool chunkPastEnd = false;                         // the decoder would allocate its claimed length
  std::vector<std::span<const uint8_t>> compressed;  // the IDAT payloads in order
};

uint64_t RawBytesBound(const uint8_t* header) {
  const uint64_t width = ReadBigEndian(header);
  const uint64_t height = ReadBigEndian(header + 4);
  const uint64_t bitDepth = header[8];
  static constexpr uint64_t kChannelsByColorType[7] = {1, 0, 3, 1, 2, 0, 4};
  const uint64_t channels = header[9] < 7 ? kChannelsByColorType[header[9]] : 4;
  const uint64_t rowBytes = (width * channels * bitDepth + 7) / 8 + 1;
  const bool interlaced = header[12] != 0;
  // Adam7 passes add filter bytes and partial bytes per row; twice the plain
  // size is a safe bound.
  return rowBytes * height * (interlaced ? 2 : 1) + 1024;
}

PngLayout ReadChunks(std::span<const uint8_t> file) {
  PngLayout layout;
  for (size_t at = kSignature.size(); file.size() - at >= 12;) {
    const uint64_t length = ReadBigEndian(file.data() + at);
    if (length > file.size() - at - 12) {
      layout.chunkPastEnd = true;
      break;
    }
    const uint8_t* type = file.data() + at + 4;
    const uint8_t* data = type + 4;
    if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13) layout.rawBytesBound = RawBytesBound(data);
    if (std::memcmp(type, "IDAT", 4) == 0) layout.compressed.emplace_back(data, length);
    if (std::memcmp(type, "IEND", 4) == 0) break;
    at += 12 + length;
  }
  return layout;
}

// How many bytes the zlib stream spread over `parts` inflates to, stopping
// once past `limit`; past the limit as well for a broken stream or one that
// does not end within the data, which the image decoder would continue with
// zeros, possibly without end.
uint64_t InflatedSize(const std::vector<std::span<const uint8_t>>& parts, uint64_t limit) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return limit + 1;
  std::array<uint8_t, 16384> scratch;
  int status = Z_OK;
  for (const auto& part : parts) {
    stream.next_in = const_cast<Bytef*>(part.data());
    stream.avail_in = static_cast<uInt>(part.size());
    while (stream.avail_in > 0 && status == Z_OK && stream.total_out <= limit) {
      stream.next_out = scratch.data();
      stream.avail_out = static_cast<uInt>(scratch.size());
      status = inflate(&stream, Z_NO_FLUSH);
    }
    if (status != Z_OK) break;
  }
  const uint64_t total = stream.total_out;
  inflateEnd(&stream);
  return status == Z_STREAM_END ? total : limit + 1;
}

}  // namespace

bool IsPngBomb(std::span<const uint8_t> file) {
  if (file.size() < kSignature.size() || !std::equal(kSignature.begin(), kSignature.end(), file.begin())) {
    return false;
  }
  const PngLayout layout = ReadChunks(file);
  if (layout.rawBytesBound == 0 || layout.chunkPastEnd) return true;
  return InflatedSize(layout.compressed, layout.rawBytesBound) > layout.rawBytesBound;
}

}  // namespace ovra
