#pragma once
// The KTX2 fixtures and basisu's oracle files beside them
// (tests/content/ktx2, made by make_fixtures.sh), and how tests compare
// pictures with them.
#include <stb/stb_image.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ovra::test {

inline std::vector<uint8_t> ReadFixture(const std::string& name) {
  std::ifstream file(std::string(OVRA_KTX2_FIXTURES) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

inline Picture PngFixture(const std::string& name) {
  const std::vector<uint8_t> bytes = ReadFixture(name);
  Picture picture;
  int channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &picture.width, &picture.height,
                                          &channels, 4);
  if (pixels != nullptr) picture.rgba.assign(pixels, pixels + picture.width * picture.height * 4);
  stbi_image_free(pixels);
  return picture;
}

// The image data of every level of a KTX 1 file, base level first.
inline std::vector<std::vector<uint8_t>> Ktx1Levels(const std::vector<uint8_t>& file) {
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, file.data() + at, 4);
    return v;
  };
  std::vector<std::vector<uint8_t>> levels;
  size_t at = 64 + u32(60);
  for (uint32_t level = 0; level < std::max(1u, u32(56)); ++level) {
    const uint32_t size = u32(at);
    levels.emplace_back(file.begin() + static_cast<long>(at + 4), file.begin() + static_cast<long>(at + 4 + size));
    at += 4 + ((size + 3) & ~3u);
  }
  return levels;
}

// Peak signal-to-noise ratio over the channels in [first, last] of two RGBA
// pictures; 99 when they are equal.
inline double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int first, int last) {
  double squared = 0;
  size_t count = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); i += 4) {
    for (int c = first; c <= last; ++c) {
      const double d = double(a[i + static_cast<size_t>(c)]) - double(b[i + static_cast<size_t>(c)]);
      squared += d * d;
      ++count;
    }
  }
  if (squared == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 / (squared / static_cast<double>(count)));
}

}  // namespace ovra::test
