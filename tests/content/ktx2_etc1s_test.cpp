// ETC1S transcoding checked against basisu's own transcodes of the same
// files (tests/content/ktx2/oracle, made by make_fixtures.sh).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "content/block_decoders.h"
#include "content/ktx2/ktx2_texture.h"
#include "content/ktx2_fixtures.h"
#include "content/texture_decoder.h"
#include "support/recording_renderer.h"

namespace ovra::ktx2 {
namespace {

using test::Ktx1Levels;
using test::Picture;
using test::Psnr;

std::vector<uint8_t> Read(const std::string& name) { return test::ReadFixture(name); }
Picture Png(const std::string& name) { return test::PngFixture(name); }

std::unique_ptr<Texture> Transcoded(const std::string& fixture, int target) {
  const std::vector<uint8_t> file = Read(fixture);
  std::unique_ptr<Texture> texture;
  EXPECT_EQ(CreateFromMemory(file.data(), file.size(), texture), kSuccess) << fixture;
  if (texture) {
    EXPECT_EQ(texture->Transcode(target), kSuccess) << fixture << " to " << target;
  }
  return texture;
}

// The last (base) level of transcoded data, `bytes` long.
std::vector<uint8_t> BaseLevel(const Texture& texture, size_t bytes) {
  const std::span<const uint8_t> data = texture.ImageData();
  return {data.end() - static_cast<long>(bytes), data.end()};
}

TEST(Etc1sTranscode, ToEtc1IsBitExactForEveryLevel) {
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    const auto texture = Transcoded(name + ".ktx2", 0);
    ASSERT_TRUE(texture);
    std::vector<uint8_t> expected;
    const auto levels = Ktx1Levels(Read("oracle/" + name + ".etc1.ktx"));
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
      expected.insert(expected.end(), level->begin(), level->end());
    }
    const std::span<const uint8_t> data = texture->ImageData();
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), expected) << name;
  }
}

TEST(Etc1sTranscode, ToRgba32EqualsTheEtc1DecodeAndCarriesAlpha) {
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    const auto texture = Transcoded(name + ".ktx2", 13);
    ASSERT_TRUE(texture);
    const Picture etc1 = Png("oracle/" + name + ".etc1.png");
    ASSERT_EQ(etc1.width, 20);
    const std::vector<uint8_t> ours = BaseLevel(*texture, 20 * 12 * 4);
    EXPECT_EQ(Psnr(ours, etc1.rgba, 0, 2), 99.0) << name << ": colour decodes exactly";
    if (name == "etc1s_rgba") {
      EXPECT_GT(Psnr(ours, Png("oracle/etc1s_rgba.bc3.png").rgba, 3, 3), 30.0) << "alpha from the alpha slice";
    } else {
      EXPECT_EQ(ours[3], 255);
    }
  }
}

struct BcCase {
  int target;
  size_t blockBytes;
  const char* oracle;
  int firstChannel, lastChannel;
  double minimumPsnr;
};

TEST(Etc1sTranscode, BlockFormatsStayCloseToBasisusOwnTranscodes) {
  const BcCase cases[] = {
      {2, 8, "bc1", 0, 2, 30.0},  {3, 16, "bc3", 0, 3, 30.0}, {4, 8, "bc4", 0, 0, 35.0},
      {5, 16, "bc5", 0, 1, 30.0}, {6, 16, "bc7", 0, 2, 30.0},
  };
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    for (const BcCase& c : cases) {
      const auto texture = Transcoded(name + ".ktx2", c.target);
      ASSERT_TRUE(texture);
      const size_t levels = name == "etc1s_rgb_mips" ? 5 : 1;
      // 20x12, 10x6, 5x3, 2x1, 1x1: 15, 6, 2, 1 and 1 blocks.
      const size_t blocks = levels == 5 ? 15 + 6 + 2 + 1 + 1 : 15;
      EXPECT_EQ(texture->ImageData().size(), blocks * c.blockBytes) << name << " " << c.oracle;
      std::vector<uint8_t> decoded;
      const std::vector<uint8_t> base = BaseLevel(*texture, 15 * c.blockBytes);
      ASSERT_TRUE(test::DecodeImage(c.target, base.data(), 20, 12, decoded)) << name << " " << c.oracle;
      const Picture theirs = Png("oracle/" + name + "." + c.oracle + ".png");
      const double psnr = Psnr(decoded, theirs.rgba, c.firstChannel, c.lastChannel);
      EXPECT_GT(psnr, c.minimumPsnr) << name << " " << c.oracle;
      RecordProperty(name + "_" + c.oracle + "_psnr", std::to_string(psnr));
    }
  }
}

TEST(Etc1sTranscode, CubeFacesComeOneAfterAnother) {
  const auto texture = Transcoded("etc1s_cubemap.ktx2", 13);
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->ImageData().size(), 6u * 8 * 8 * 4);
}

TEST(Etc1sTranscode, IsDoneOnceAndOnlyForTargetsItHas) {
  const auto texture = Transcoded("etc1s_rgba.ktx2", 13);
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->Transcode(13), kInvalidOperation) << "already transcoded";
  const std::vector<uint8_t> file = Read("etc1s_rgba.ktx2");
  std::unique_ptr<Texture> fresh;
  ASSERT_EQ(CreateFromMemory(file.data(), file.size(), fresh), kSuccess);
  EXPECT_EQ(fresh->Transcode(99), kInvalidValue) << "no such target";
  EXPECT_EQ(fresh->Transcode(2), kSuccess) << "a refused target leaves the texture as it was";
}

// Offset of the BasisLZ global data in a KTX2 file.
size_t GlobalDataOffset(const std::vector<uint8_t>& file) {
  uint64_t offset;
  std::memcpy(&offset, file.data() + 64, 8);
  return offset;
}

TEST(Etc1sTranscode, DamagedGlobalDataFailsCleanly) {
  const std::vector<uint8_t> original = Read("etc1s_rgba.ktx2");
  const size_t global = GlobalDataOffset(original);
  uint64_t length;
  std::memcpy(&length, original.data() + 72, 8);
  int failures = 0;
  // Every byte of the global data flipped in turn: never a crash, and a
  // failure is reported as a failed transcode.
  for (size_t at = global; at < global + length; ++at) {
    std::vector<uint8_t> file = original;
    file[at] ^= 0x5A;
    std::unique_ptr<Texture> texture;
    if (CreateFromMemory(file.data(), file.size(), texture) != kSuccess) continue;
    const int result = texture->Transcode(13);
    EXPECT_TRUE(result == kSuccess || result == kTranscodeFailed || result == kUnsupportedFeature) << result;
    failures += result != kSuccess;
  }
  EXPECT_GT(failures, 0);
}

TEST(Etc1sDecoding, ARendererAskingForRgba32GetsPixels) {
  test::RecordingRenderer renderer;
  renderer.SetTranscodeFormat(13);
  const cxm::Texture texture = DecodeTexture(Read("etc1s_rgba.ktx2"), "albedo.ktx2", &renderer);
  EXPECT_EQ(texture.format, 4u);
  EXPECT_EQ(texture.width, 20u);
  EXPECT_EQ(texture.byteSize, 20u * 12 * 4);
}

}  // namespace
}  // namespace ovra::ktx2
