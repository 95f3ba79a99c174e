#pragma once

#include <stb/stb_image_write.h>

#include <cstdint>
#include <vector>

namespace ovra::test {

// Pixels whose bytes follow a simple pattern, so decoded images can be
// compared with what was written.
inline std::vector<uint8_t> PatternPixels(int width, int height, int channels, int seed = 0) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width * height * channels));
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + seed * 31);
  return pixels;
}

inline void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

inline std::vector<uint8_t> EncodePng(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file;
  stbi_write_png_to_func(AppendBytes, &file, width, height, channels, pixels.data(), width * channels);
  return file;
}

inline std::vector<uint8_t> EncodeJpeg(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> file;
  stbi_write_jpg_to_func(AppendBytes, &file, width, height, channels, pixels.data(), 95);
  return file;
}

}  // namespace ovra::test
