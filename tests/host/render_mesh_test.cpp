#include "ovra/render_mesh.h"

#include <gtest/gtest.h>

#include <vector>

namespace ovra {
namespace {

// Level 0 ends the data: a host that uploads from the start of a mip-mapped
// record would draw the small levels.
TEST(TextureLevelZero, IsTheLastFullSizeImageOfTheRecord) {
  struct Case {
    const char* what;
    uint32_t format;
    uint16_t width, height;
    uint64_t byteSize;
    int64_t expectedOffset;  // -1: no level 0
  };
  const Case cases[] = {
      {"image file", kTextureFormatRGB8, 5, 3, 45, 0},
      {"uncompressed with mips 5x3, 2x1, 1x1", kTextureFormatRGBA8, 5, 3, 4 + 8 + 60, 12},
      {"BC7 5x5 is 2x2 blocks after a one-block level", kTextureFormatBc7Rgba, 5, 5, 16 + 64, 16},
      {"ETC1 blocks are 8 bytes", kTextureFormatEtc1Rgb, 8, 4, 8 + 16, 8},
      {"shorter than level 0", kTextureFormatRGBA8, 4, 4, 63, -1},
      {"untranscoded data has no known level 0", kTextureFormatNone, 4, 4, 64, -1},
      {"unknown code", 110, 4, 4, 64, -1},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes(c.byteSize);
    Texture texture;
    texture.data = bytes.data();
    texture.byteSize = c.byteSize;
    texture.width = c.width;
    texture.height = c.height;
    texture.format = c.format;
    const uint8_t* levelZero = TextureLevelZero(texture);
    if (c.expectedOffset < 0) {
      EXPECT_EQ(levelZero, nullptr) << c.what;
    } else {
      EXPECT_EQ(levelZero - bytes.data(), c.expectedOffset) << c.what;
      EXPECT_EQ(c.byteSize - TextureLevelZeroBytes(texture), uint64_t(c.expectedOffset)) << c.what;
    }
  }
}

}  // namespace
}  // namespace ovra
