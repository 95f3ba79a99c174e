#include "content/texture_decoder.h"

#include <stb/stb_image.h>

#include <algorithm>
#include <memory>
#include <span>
#include <string>

#include "content/ktx2/ktx2_texture.h"
#include "content/png_guard.h"
#include "format/limits.h"
#include "ovra/logging.h"
#include "ovra/render_mesh.h"

namespace ovra {

namespace {

constexpr uint32_t kFirstCompressedFormat = 100;

cxm::Texture Failed() {
  cxm::Texture texture;
  texture.format = kTextureFormatNone;
  return texture;
}

void SetPixels(cxm::Texture& texture, std::vector<uint8_t> pixels) {
  texture.byteSize = pixels.size();
  texture.pixels = std::make_shared<const std::vector<uint8_t>>(std::move(pixels));
}

cxm::Texture DecodeKtx2(const std::vector<uint8_t>& bytes, IMeshRenderer* renderer) {
  std::unique_ptr<ktx2::Texture> ktx;
  if (const int result = ktx2::CreateFromMemory(bytes.data(), bytes.size(), ktx); result != ktx2::kSuccess) {
    Log::Error("Could not load KTX texture, error code: " + std::to_string(result));
    return Failed();
  }
  const int target = renderer != nullptr ? renderer->SelectTranscodeFormat(static_cast<int>(ktx->BaseWidth()),
                                                                           static_cast<int>(ktx->BaseHeight()),
                                                                           static_cast<int>(ktx->NumComponents()))
                                         : ktx2::kNoTranscode;
  bool transcoded = false;
  if (target != ktx2::kNoTranscode) {
    if (const int result = ktx->Transcode(target); result != ktx2::kSuccess) {
      Log::Error("Could not transcode KTX texture, error code: " + std::to_string(result));
    } else {
      transcoded = true;
    }
  }
  cxm::Texture texture;
  texture.width = ktx->BaseWidth();
  texture.height = ktx->BaseHeight();
  // Untranscoded data must not be labelled with the format that was asked
  // for, or a renderer would upload it as that format.
  texture.format = transcoded ? FormatOfTranscodeTarget(target) : kTextureFormatNone;
  const std::span<const uint8_t> data = ktx->ImageData();
  SetPixels(texture, std::vector<uint8_t>(data.begin(), data.end()));
  return texture;
}

cxm::Texture DecodeImage(const std::vector<uint8_t>& bytes) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) return Failed();
  int width = 0;
  int height = 0;
  int channels = 0;
  // A header may claim any size; the pixels are only allocated for sizes a
  // texture may have.
  const int length = static_cast<int>(bytes.size());
  if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0 || width > kMaxTextureSide ||
      height > kMaxTextureSide || uint64_t(width) * uint64_t(height) > kMaxTexturePixels || IsPngBomb(bytes)) {
    return Failed();
  }
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 0), stbi_image_free);
  if (!pixels || width <= 0 || height <= 0 || channels < 1 || channels > 4) return Failed();
  cxm::Texture texture;
  texture.width = static_cast<uint32_t>(width);
  texture.height = static_cast<uint32_t>(height);
  texture.format = static_cast<uint32_t>(channels);
  const size_t byteCount = size_t{texture.width} * texture.height * static_cast<size_t>(channels);
  SetPixels(texture, std::vector<uint8_t>(pixels.get(), pixels.get() + byteCount));
  return texture;
}

// Level 0 sits at the end of KTX2 data (smallest level first) and is all of
// an image file's pixels; empty when the record holds no whole level 0.
std::span<const uint8_t> LevelZero(const cxm::Texture& texture) {
  const uint64_t bytes = TextureLevelZeroBytes(texture.format, texture.width, texture.height);
  const uint64_t held = std::min<uint64_t>(texture.byteSize, texture.pixels->size());
  if (bytes == 0 || held < bytes) return {};
  return {texture.pixels->data() + (held - bytes), static_cast<size_t>(bytes)};
}

bool IsCompressed(const cxm::Texture& texture) { return texture.format >= kFirstCompressedFormat; }

// Without a usable alpha map a colour texture keeps the alpha it has.
uint8_t OwnAlpha(const uint8_t* pixel, size_t stride) {
  if (stride == 4) return pixel[3];
  if (stride == 2) return pixel[1];
  return 255;
}

}  // namespace

uint32_t FormatOfTranscodeTarget(int target) {
  switch (target) {
    case 0: return kTextureFormatEtc1Rgb;
    case 1: return kTextureFormatEtc2Rgba;
    case 2: return kTextureFormatBc1Rgb;
    case 3: return kTextureFormatBc3Rgba;
    case 4: return kTextureFormatBc4R;
    case 5: return kTextureFormatBc5Rg;
    case 6: return kTextureFormatBc7Rgba;
    case 13: return kTextureFormatRGBA8;
    case 18: return kTextureFormatPvrtc2Rgb4bpp;
    case 20: return kTextureFormatEacR11;
    case 21: return kTextureFormatEacRg11;
    default: return kTextureFormatNone;
  }
}

cxm::Texture DecodeTexture(const std::vector<uint8_t>& bytes, std::string_view fileName, IMeshRenderer* renderer) {
  if (bytes.empty()) return {};
  if (fileName.ends_with("ktx2")) return DecodeKtx2(bytes, renderer);
  return DecodeImage(bytes);
}

cxm::Texture MergeColorAlpha(const cxm::Texture& color, const cxm::Texture& alpha) {
  if (IsCompressed(color) || IsCompressed(alpha)) return color;
  const size_t pixelCount = size_t{color.width} * color.height;
  const size_t colorStride = TextureFormatComponents(color.format);
  const std::span<const uint8_t> colorLevel = LevelZero(color);
  if (colorStride == 0 || colorLevel.empty()) return color;

  const size_t alphaStride = TextureFormatComponents(alpha.format);
  const std::span<const uint8_t> alphaLevel = LevelZero(alpha);
  const bool alphaFits = alphaStride > 0 && !alphaLevel.empty() && alphaLevel.size() / alphaStride == pixelCount;
  const uint8_t* in = colorLevel.data();
  const uint8_t* mask = alphaLevel.data();
  std::vector<uint8_t> merged(pixelCount * 4);
  for (size_t i = 0; i < pixelCount; ++i) {
    const uint8_t* pixel = in + i * colorStride;
    const bool grey = colorStride < 3;
    merged[4 * i + 0] = pixel[0];
    merged[4 * i + 1] = grey ? pixel[0] : pixel[1];
    merged[4 * i + 2] = grey ? pixel[0] : pixel[2];
    merged[4 * i + 3] = alphaFits ? mask[i * alphaStride] : OwnAlpha(pixel, colorStride);
  }
  cxm::Texture result;
  result.width = color.width;
  result.height = color.height;
  result.format = kTextureFormatRGBA8;
  SetPixels(result, std::move(merged));
  return result;
}

}  // namespace ovra
