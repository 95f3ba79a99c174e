#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace ovra::ktx2 {

// Error codes, numbered as KTX-Software numbers them, so log lines carry the
// codes a host may know.
enum ErrorCode : int {
  kSuccess = 0,
  kFileDataError = 1,
  kFileUnexpectedEof = 7,
  kInvalidOperation = 10,
  kInvalidValue = 11,
  kOutOfMemory = 13,
  kTranscodeFailed = 14,
  kUnknownFileFormat = 15,
  kUnsupportedTextureType = 16,
  kUnsupportedFeature = 17,
  kDecompressLengthError = 19,
};

// Transcode target that keeps the texture as stored.
inline constexpr int kNoTranscode = 0x7FFFFFFF;

// One KTX2 texture opened from memory: the narrow interface the texture
// decoder needs.
class Texture {
 public:
  virtual ~Texture() = default;
  virtual uint32_t BaseWidth() const = 0;
  virtual uint32_t BaseHeight() const = 0;
  // Colour components as KTX-Software reports them for this texture.
  virtual uint32_t NumComponents() const = 0;
  // Transcodes the Basis Universal payload to `target` (a KTX-Software
  // transcode format number); an ErrorCode.
  virtual int Transcode(int target) = 0;
  // All levels, layers and faces as held now (transcoded or not).
  virtual std::span<const uint8_t> ImageData() const = 0;
};

// Opens a KTX2 texture from `size` bytes at `data`, reading nothing beyond
// them. Returns an ErrorCode; `texture` is set on kSuccess only.
int CreateFromMemory(const uint8_t* data, size_t size, std::unique_ptr<Texture>& texture);

}  // namespace ovra::ktx2
