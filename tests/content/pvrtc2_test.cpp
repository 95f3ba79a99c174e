// PVRTC2: the test's decoder checked on basisu's own words and decode, then
// our encoder on hand-made pictures and on ETC1S transcodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <random>

#include "content/block_decoders.h"
#include "content/ktx2/ktx2_texture.h"
#include "content/ktx2/pvrtc2_encoder.h"
#include "content/ktx2_fixtures.h"

namespace ovra::ktx2 {
namespace {

using test::Psnr;

bool DecodePvrtc2(const uint8_t* words, int width, int height, std::vector<uint8_t>& rgba) {
  return test::DecodeImage(18, words, width, height, rgba);
}

TEST(Pvrtc2, BasisusOwnWordsDecodeToItsPictures) {
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    const std::vector<uint8_t> words = test::Ktx1Levels(test::ReadFixture("oracle/" + name + ".pvrtc2.ktx"))[0];
    const test::Picture theirs = test::PngFixture("oracle/" + name + ".pvrtc2.png");
    ASSERT_EQ(words.size(), 15u * 8) << name;
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(DecodePvrtc2(words.data(), 20, 12, decoded)) << name;
    EXPECT_EQ(Psnr(decoded, theirs.rgba, 0, 2), 99.0) << name;
  }
}

// Floors: a flat block is drawn exactly or nearly (a blend of two stored
// colours reaches most values); two colours follow a ramp to within a few
// levels, but not colours that vary in two directions at once.
struct BlockCase {
  const char* name;
  std::function<std::array<uint8_t, 3>(int x, int y)> pixel;
  double minimumPsnr;
};

TEST(Pvrtc2, EncoderFollowsBlocks) {
  std::mt19937 random(5);
  const BlockCase cases[] = {
      {"flat",
       [](int, int) {
         return std::array<uint8_t, 3>{12, 250, 99};
       },
       45.0},
      {"flat at the ends of the range",
       [](int, int) {
         return std::array<uint8_t, 3>{0, 255, 1};
       },
       45.0},
      {"ramp",
       [](int x, int) {
         return std::array<uint8_t, 3>{uint8_t(x * 8), uint8_t(255 - x * 8), 128};
       },
       28.0},
      {"two directions",
       [](int x, int y) {
         return std::array<uint8_t, 3>{uint8_t(x * 19), uint8_t(y * 36), 0};
       },
       23.0},
      {"two colours",
       [](int x, int) {
         return x < 2 ? std::array<uint8_t, 3>{255, 0, 0} : std::array<uint8_t, 3>{0, 0, 255};
       },
       45.0},
      {"noise",
       [&](int, int) {
         return std::array<uint8_t, 3>{uint8_t(random()), uint8_t(random()), uint8_t(random())};
       },
       11.0},
  };
  for (const BlockCase& c : cases) {
    std::vector<uint8_t> rgba(64, 255);
    for (int i = 0; i < 16; ++i) {
      const auto p = c.pixel(i % 4, i / 4);
      std::copy(p.begin(), p.end(), rgba.begin() + 4 * i);
    }
    uint8_t word[8];
    EncodePvrtc2Block(rgba.data(), word);
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(DecodePvrtc2(word, 4, 4, decoded)) << c.name;
    EXPECT_GT(Psnr(decoded, rgba, 0, 2), c.minimumPsnr) << c.name;
  }
}

// Our ETC1S to PVRTC2 against basisu's, both measured from the exact decode.
TEST(Pvrtc2, Etc1sTranscodesStayCloseToBasisus) {
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    const std::vector<uint8_t> file = test::ReadFixture(name + ".ktx2");
    std::unique_ptr<Texture> pvrtc2, rgba;
    ASSERT_EQ(CreateFromMemory(file.data(), file.size(), pvrtc2), kSuccess);
    ASSERT_EQ(CreateFromMemory(file.data(), file.size(), rgba), kSuccess);
    ASSERT_EQ(pvrtc2->Transcode(18), kSuccess) << name;
    ASSERT_EQ(rgba->Transcode(13), kSuccess) << name;
    const bool mips = name == "etc1s_rgb_mips";
    // 20x12, 10x6, 5x3, 2x1, 1x1: 15, 6, 2, 1 and 1 words.
    EXPECT_EQ(pvrtc2->ImageData().size(), (mips ? 15u + 6 + 2 + 1 + 1 : 15u) * 8) << name;
    const std::span<const uint8_t> data = pvrtc2->ImageData(), pixels = rgba->ImageData();
    std::vector<uint8_t> ours, theirs;
    ASSERT_TRUE(DecodePvrtc2(data.data() + data.size() - 15 * 8, 20, 12, ours));
    const std::vector<uint8_t> exact(pixels.end() - 20 * 12 * 4, pixels.end());
    ASSERT_TRUE(
        DecodePvrtc2(test::Ktx1Levels(test::ReadFixture("oracle/" + name + ".pvrtc2.ktx"))[0].data(), 20, 12, theirs));
    const double ourPsnr = Psnr(ours, exact, 0, 2), theirPsnr = Psnr(theirs, exact, 0, 2);
    EXPECT_GT(ourPsnr, 28.0) << name;
    EXPECT_GT(ourPsnr, theirPsnr - 3.0) << name;
    RecordProperty(name + "_pvrtc2_psnr", std::to_string(ourPsnr));
    RecordProperty(name + "_basisu_pvrtc2_psnr", std::to_string(theirPsnr));
  }
}

}  // namespace
}  // namespace ovra::ktx2
