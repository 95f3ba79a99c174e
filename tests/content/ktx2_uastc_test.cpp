// UASTC transcoding checked against basisu's own decode and transcodes of
// the same files (tests/content/ktx2/oracle, made by make_fixtures.sh).
// uastc_modes.ktx2 holds four blocks of each of the 19 UASTC modes.
#include <gtest/gtest.h>

#include <cstring>

#include "content/block_decoders.h"
#include "content/ktx2/ktx2_texture.h"
#include "content/ktx2/uastc.h"
#include "content/ktx2_fixtures.h"

namespace ovra::ktx2 {
namespace {

using test::Psnr;

std::unique_ptr<Texture> Open(const std::vector<uint8_t>& file) {
  std::unique_ptr<Texture> texture;
  EXPECT_EQ(CreateFromMemory(file.data(), file.size(), texture), kSuccess);
  return texture;
}

// The last (base) level of a texture's data, `bytes` long.
std::vector<uint8_t> BaseLevel(const Texture& texture, size_t bytes) {
  const std::span<const uint8_t> data = texture.ImageData();
  return {data.end() - static_cast<long>(bytes), data.end()};
}

// The level-0 UASTC blocks of an uncompressed single-level fixture.
std::vector<uint8_t> StoredBlocks(const std::string& fixture) {
  const std::unique_ptr<Texture> texture = Open(test::ReadFixture(fixture));
  const std::span<const uint8_t> data = texture->ImageData();
  return {data.begin(), data.end()};
}

struct ExactCase {
  const char* fixture;
  const char* oracle;
  int width, height;
};

TEST(UastcTranscode, ToRgba32EqualsBasisusDecode) {
  const ExactCase cases[] = {
      {"uastc_modes.ktx2", "uastc_modes", 40, 32},
      {"uastc_rgba_raw_mips.ktx2", "uastc_rgba_raw_mips", 20, 12},
      {"uastc_rgba_zstd_mips.ktx2", "uastc_rgba_raw_mips", 20, 12},
      {"uastc_rgb_zstd.ktx2", "uastc_rgb_zstd", 20, 12},
  };
  for (const ExactCase& c : cases) {
    const std::unique_ptr<Texture> texture = Open(test::ReadFixture(c.fixture));
    ASSERT_EQ(texture->Transcode(13), kSuccess) << c.fixture;
    const test::Picture theirs = test::PngFixture(std::string("oracle/") + c.oracle + ".rgba.png");
    ASSERT_EQ(theirs.width, c.width);
    EXPECT_EQ(BaseLevel(*texture, theirs.rgba.size()), theirs.rgba) << c.fixture;
  }
}

// Block by block, so that a failure names the block (four per mode, in the
// order of make_fixtures.sh's mode list).
TEST(UastcTranscode, EveryModeDecodesAsBasisuDecodesIt) {
  const std::vector<uint8_t> blocks = StoredBlocks("uastc_modes.ktx2");
  const test::Picture theirs = test::PngFixture("oracle/uastc_modes.rgba.png");
  ASSERT_EQ(blocks.size(), 80u * 16);
  for (int b = 0; b < 80; ++b) {
    uint8_t ours[64];
    ASSERT_TRUE(DecodeUastcBlock(blocks.data() + 16 * b, ours)) << "block " << b;
    int wrong = 0;
    for (int t = 0; t < 16; ++t) {
      const int x = b % 10 * 4 + t % 4, y = b / 10 * 4 + t / 4;
      wrong += std::memcmp(ours + 4 * t, theirs.rgba.data() + (y * 40 + x) * 4, 4) != 0;
    }
    EXPECT_EQ(wrong, 0) << "block " << b << " (mode " << b / 4 << ")";
  }
}

TEST(UastcTranscode, LevelsLayersAndSizesFollowTheContainer) {
  const std::unique_ptr<Texture> mips = Open(test::ReadFixture("uastc_rgba_zstd_mips.ktx2"));
  ASSERT_EQ(mips->Transcode(6), kSuccess);
  EXPECT_EQ(mips->ImageData().size(), (15u + 6 + 2 + 1 + 1) * 16) << "20x12 to 1x1, smallest first";
  const std::unique_ptr<Texture> array = Open(test::ReadFixture("uastc_array.ktx2"));
  ASSERT_EQ(array->Transcode(13), kSuccess);
  EXPECT_EQ(array->ImageData().size(), 2u * 8 * 8 * 4);
}

// The test's ETC1 decoder, on basisu's ETC1 blocks of varied content: both
// modes and both flips.
TEST(UastcTranscode, TheTestsEtc1DecoderDrawsBasisusBlocksAsItDoes) {
  const std::vector<uint8_t> etc1 = test::Ktx1Levels(test::ReadFixture("oracle/uastc_modes.etc1.ktx"))[0];
  std::vector<uint8_t> decoded;
  ASSERT_TRUE(test::DecodeImage(0, etc1.data(), 40, 32, decoded));
  EXPECT_EQ(Psnr(decoded, test::PngFixture("oracle/uastc_modes.etc1.png").rgba, 0, 2), 99.0);
}

// The test's BC7 decoder and the library's partition and anchor tables, on
// basisu's BC7 blocks: its transcode uses modes 1, 2, 3, 5, 6 and 7.
TEST(UastcTranscode, TheTestsBc7DecoderDrawsBasisusBlocksAsItDoes) {
  const std::vector<uint8_t> bc7 = test::Ktx1Levels(test::ReadFixture("oracle/uastc_modes.bc7.ktx"))[0];
  std::vector<uint8_t> decoded;
  ASSERT_TRUE(test::DecodeImage(6, bc7.data(), 40, 32, decoded));
  EXPECT_EQ(Psnr(decoded, test::PngFixture("oracle/uastc_modes.bc7.png").rgba, 0, 3), 99.0);
}

struct TargetCase {
  int target;
  const char* oracle;  // basisu's transcode, decoded
  size_t blockBytes;
  int firstChannel, lastChannel;  // of the decode, compared with the same ones of the source
  bool secondIsAlpha;             // the second channel decodes the source's alpha
  double allowedDeficit;          // dB under basisu's transcode
};

// Our transcode and basisu's, each against the exact decode. The fixture is
// hard on purpose (noise, three-colour blocks), so both score low on the
// two-colour formats; ours may not score more than 1 dB under basisu's.
TEST(UastcTranscode, BlockFormatsStayCloseToBasisusOwnTranscodes) {
  const TargetCase cases[] = {
      {0, "etc1", 8, 0, 2, false, 1.0}, {1, "etc2", 16, 0, 3, false, 1.0}, {2, "bc1", 8, 0, 2, false, 1.0},
      {3, "bc3", 16, 0, 3, false, 1.0}, {4, "bc4", 8, 0, 0, false, 1.0},   {5, "bc5", 16, 0, 1, true, 1.0},
      {6, "bc7", 16, 0, 3, false, 1.0}, {20, "r11", 8, 0, 0, false, 1.0},  {21, "rg11", 16, 0, 1, true, 1.0},
  };
  const std::vector<uint8_t> file = test::ReadFixture("uastc_modes.ktx2");
  const std::vector<uint8_t> exact = test::PngFixture("oracle/uastc_modes.rgba.png").rgba;
  for (const TargetCase& c : cases) {
    const std::unique_ptr<Texture> texture = Open(file);
    ASSERT_EQ(texture->Transcode(c.target), kSuccess) << c.oracle;
    ASSERT_EQ(texture->ImageData().size(), 80 * c.blockBytes) << c.oracle;
    std::vector<uint8_t> ours;
    ASSERT_TRUE(test::DecodeImage(c.target, texture->ImageData().data(), 40, 32, ours)) << c.oracle;
    const std::vector<uint8_t> theirs = test::PngFixture(std::string("oracle/uastc_modes.") + c.oracle + ".png").rgba;
    std::vector<uint8_t> source = exact;
    if (c.secondIsAlpha) {
      for (size_t i = 0; i < source.size(); i += 4) source[i + 1] = source[i + 3];
    }
    const double ourPsnr = Psnr(ours, source, c.firstChannel, c.lastChannel);
    const double theirPsnr = Psnr(theirs, source, c.firstChannel, c.lastChannel);
    EXPECT_GT(ourPsnr, theirPsnr - c.allowedDeficit) << c.oracle;
    RecordProperty(std::string("uastc_") + c.oracle + "_psnr", std::to_string(ourPsnr));
    RecordProperty(std::string("uastc_basisu_") + c.oracle + "_psnr", std::to_string(theirPsnr));
  }
}

// A two-subset block (mode code 11001) whose pattern index, 5 bits at bit 20,
// is past the 30 patterns of its table.
TEST(UastcTranscode, ABlockNoEncoderWritesFailsTheTranscode) {
  std::vector<uint8_t> file = test::ReadFixture("uastc_modes.ktx2");
  const std::vector<uint8_t> blocks = StoredBlocks("uastc_modes.ktx2");
  const auto found = std::search(file.begin(), file.end(), blocks.begin(), blocks.end());
  ASSERT_NE(found, file.end());
  bool changed = false;
  for (auto block = found; block < found + static_cast<long>(blocks.size()); block += 16) {
    if ((block[0] & 0x1F) == 0x13) {
      block[2] |= 0xF0;  // pattern bits 20 to 23, with bit 24 below
      block[3] |= 0x01;
      changed = true;
      break;
    }
  }
  ASSERT_TRUE(changed);
  const std::unique_ptr<Texture> texture = Open(file);
  EXPECT_EQ(texture->Transcode(13), kTranscodeFailed);
}

// Every byte of the level changed in turn: decoding never reads past a block
// nor crashes, and answers success or TRANSCODE_FAILED only.
TEST(UastcTranscode, DamagedBlocksNeverCrash) {
  const std::vector<uint8_t> original = test::ReadFixture("uastc_modes.ktx2");
  const std::vector<uint8_t> blocks = StoredBlocks("uastc_modes.ktx2");
  const auto start = std::search(original.begin(), original.end(), blocks.begin(), blocks.end()) - original.begin();
  for (size_t i = 0; i < blocks.size(); ++i) {
    std::vector<uint8_t> file = original;
    file[static_cast<size_t>(start) + i] ^= static_cast<uint8_t>(0x5A + i);
    std::unique_ptr<Texture> texture;
    ASSERT_EQ(CreateFromMemory(file.data(), file.size(), texture), kSuccess);
    const int result = texture->Transcode(i % 2 ? 13 : 6);
    EXPECT_TRUE(result == kSuccess || result == kTranscodeFailed) << "byte " << i << ": " << result;
  }
}

}  // namespace
}  // namespace ovra::ktx2
