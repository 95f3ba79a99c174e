#include "content/texture_decoder.h"

#include <gtest/gtest.h>

#include "content/ktx2_fixtures.h"
#include "support/images.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"

namespace ovra {
namespace {

cxm::Texture Decode(const std::vector<uint8_t>& bytes, std::string_view name = "map.png") {
  return DecodeTexture(bytes, name, nullptr);
}

TEST(DecodeTexture, ImageFilesKeepTheirChannelCount) {
  for (int channels = 1; channels <= 4; ++channels) {
    const auto pixels = test::PatternPixels(5, 3, channels);
    const cxm::Texture t = Decode(test::EncodePng(5, 3, channels, pixels));
    EXPECT_EQ(t.format, static_cast<uint32_t>(channels));
    EXPECT_EQ(t.width, 5u);
    EXPECT_EQ(t.height, 3u);
    EXPECT_EQ(t.byteSize, pixels.size());
    EXPECT_EQ(*t.pixels, pixels) << channels << " channels";
  }
  const cxm::Texture jpeg = Decode(test::EncodeJpeg(8, 8, 3, test::PatternPixels(8, 8, 3)));
  EXPECT_EQ(jpeg.format, 3u);
  EXPECT_EQ(jpeg.byteSize, 8u * 8 * 3);
}

TEST(DecodeTexture, EmptyAndUndecodableInput) {
  const cxm::Texture empty = Decode({});
  EXPECT_EQ(empty.format, 4u) << "the default record";
  EXPECT_TRUE(empty.pixels->empty());

  test::ScopedRecordingLogger log;
  auto png = test::EncodePng(4, 4, 3, test::PatternPixels(4, 4, 3));
  const std::vector<uint8_t> truncated(png.begin(), png.begin() + static_cast<long>(png.size() / 2));
  for (const auto& bytes : {std::vector<uint8_t>{1, 2, 3, 4, 5}, truncated}) {
    const cxm::Texture t = Decode(bytes);
    EXPECT_EQ(t.format, 0u);
    EXPECT_EQ(t.width, 0u);
    EXPECT_TRUE(t.pixels->empty());
  }
  EXPECT_TRUE(log.Lines().empty()) << "image failures are silent";
}

TEST(DecodeTexture, OnlyNamesEndingInLowerCaseKtx2TakeTheKtx2Path) {
  test::ScopedRecordingLogger log;
  const auto png = test::EncodePng(2, 2, 3, test::PatternPixels(2, 2, 3));
  EXPECT_EQ(Decode(png, "albedo.KTX2").format, 3u);
  EXPECT_EQ(Decode(png, "tx2").format, 3u);
  EXPECT_TRUE(log.Lines().empty());
  test::RecordingRenderer renderer;
  const cxm::Texture ktx = DecodeTexture(png, "albedoktx2", &renderer);
  EXPECT_EQ(ktx.format, 0u);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_TRUE(log.Lines()[0].starts_with("Error: Could not load KTX texture, error code: "));
}

TEST(FormatOfTranscodeTarget, MapsTheKnownTargets) {
  const std::pair<int, uint32_t> table[] = {{0, 100},  {1, 101}, {2, 102}, {3, 103},        {4, 104},
                                            {5, 105},  {6, 106}, {13, 4},  {18, 107},       {20, 108},
                                            {21, 109}, {7, 0},   {22, 0},  {0x7FFFFFFF, 0}, {-1, 0}};
  for (const auto& [target, format] : table) EXPECT_EQ(FormatOfTranscodeTarget(target), format) << target;
}

cxm::Texture Image(uint32_t width, uint32_t height, uint32_t format, std::vector<uint8_t> pixels) {
  cxm::Texture t;
  t.width = width;
  t.height = height;
  t.format = format;
  t.byteSize = pixels.size();
  t.pixels = std::make_shared<const std::vector<uint8_t>>(std::move(pixels));
  return t;
}

TEST(MergeColorAlpha, TakesAlphaFromTheFirstChannelOfTheAlphaMap) {
  const cxm::Texture color = Image(2, 1, 3, {10, 20, 30, 40, 50, 60});
  const cxm::Texture alpha = Image(2, 1, 2, {7, 99, 8, 99});
  const cxm::Texture merged = MergeColorAlpha(color, alpha);
  EXPECT_EQ(merged.format, 4u);
  EXPECT_EQ(merged.byteSize, 8u);
  EXPECT_EQ(*merged.pixels, (std::vector<uint8_t>{10, 20, 30, 7, 40, 50, 60, 8}));
}

TEST(MergeColorAlpha, Cases) {
  struct Case {
    const char* name;
    cxm::Texture color;
    cxm::Texture alpha;
    std::vector<uint8_t> expected;
    uint32_t format;
  };
  const cxm::Texture bc7 = Image(4, 4, 106, std::vector<uint8_t>(16, 1));
  const Case cases[] = {
      {"alpha of another size is opaque",
       Image(1, 2, 3, {1, 2, 3, 4, 5, 6}),
       Image(1, 1, 1, {9}),
       {1, 2, 3, 255, 4, 5, 6, 255},
       4},
      {"grey colour is replicated", Image(2, 1, 1, {5, 6}), Image(2, 1, 1, {7, 8}), {5, 5, 5, 7, 6, 6, 6, 8}, 4},
      {"grey+alpha colour uses its grey", Image(1, 1, 2, {9, 1}), Image(1, 1, 4, {3, 0, 0, 0}), {9, 9, 9, 3}, 4},
      {"alpha map replaces the colour's alpha", Image(1, 1, 4, {1, 2, 3, 4}), Image(1, 1, 1, {200}), {1, 2, 3, 200}, 4},
      {"RGBA colour without alpha map keeps its alpha", Image(1, 1, 4, {1, 2, 3, 4}), cxm::Texture{}, {1, 2, 3, 4}, 4},
      {"grey+alpha colour without alpha map keeps its alpha",
       Image(1, 1, 2, {9, 1}),
       Image(2, 1, 1, {5, 5}),
       {9, 9, 9, 1},
       4},
      {"compressed colour is kept", bc7, Image(4, 4, 1, std::vector<uint8_t>(16, 2)), std::vector<uint8_t>(16, 1), 106},
      {"compressed alpha keeps the colour", Image(1, 1, 3, {1, 2, 3}), bc7, {1, 2, 3}, 3},
      {"failed colour stays failed", Image(3, 3, 0, {}), Image(3, 3, 1, std::vector<uint8_t>(9, 1)), {}, 0},
      {"colour shorter than its size is kept",
       Image(4, 4, 3, {1, 2, 3}),
       Image(4, 4, 1, std::vector<uint8_t>(16, 1)),
       {1, 2, 3},
       3},
      {"empty colour merges to an empty RGBA", cxm::Texture{}, Image(2, 2, 1, {1, 2, 3, 4}), {}, 4},
      // KTX2 data holds its levels smallest first: level 0 is at the end.
      {"mip-mapped colour and alpha give their base levels",
       Image(2, 1, 3, {70, 71, 72, 1, 2, 3, 4, 5, 6}),
       Image(2, 1, 1, {90, 8, 9}),
       {1, 2, 3, 8, 4, 5, 6, 9},
       4},
  };
  for (const Case& c : cases) {
    const cxm::Texture merged = MergeColorAlpha(c.color, c.alpha);
    EXPECT_EQ(*merged.pixels, c.expected) << c.name;
    EXPECT_EQ(merged.format, c.format) << c.name;
  }
}

// The colour map that reaches the renderer is the full-size picture, the way
// basisu itself decodes level 0, however many mip levels the file holds.
TEST(MergeColorAlpha, MipMappedKtx2ColourMapsArriveAsTheirBaseLevel) {
  struct Case {
    const char* fixture;
    const char* oracle;
  };
  for (const Case& c : {Case{"uastc_rgba_raw_mips.ktx2", "uastc_rgba_raw_mips.rgba.png"},
                        Case{"uastc_rgba_zstd_mips.ktx2", "uastc_rgba_raw_mips.rgba.png"},
                        Case{"etc1s_rgb_mips.ktx2", "etc1s_rgb_mips.etc1.png"}}) {
    test::RecordingRenderer renderer;
    renderer.SetTranscodeFormat(13);
    const cxm::Texture decoded = DecodeTexture(test::ReadFixture(c.fixture), "colour.ktx2", &renderer);
    ASSERT_GT(decoded.byteSize, size_t{decoded.width} * decoded.height * 4) << c.fixture << " has mip levels";
    const cxm::Texture merged = MergeColorAlpha(decoded, cxm::Texture{});
    const std::vector<uint8_t> expected = test::PngFixture(std::string("oracle/") + c.oracle).rgba;
    // The ETC1 oracle carries no alpha; the colour's own alpha is opaque.
    ASSERT_EQ(expected.size(), size_t{merged.width} * merged.height * 4) << c.fixture;
    EXPECT_EQ(merged.byteSize, expected.size()) << c.fixture;
    EXPECT_TRUE(*merged.pixels == expected) << c.fixture;
  }
}

}  // namespace
}  // namespace ovra
