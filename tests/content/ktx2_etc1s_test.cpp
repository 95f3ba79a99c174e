// ETC1S transcoding checked against basisu's own transcodes of the same
// files (tests/content/ktx2/oracle, made by make_fixtures.sh).
#include <gtest/gtest.h>
#include <squish.h>

#include <cmath>
#include <cstring>

#include "content/bc7_decode.h"
#include "content/ktx2_fixtures.h"
#include "content/ktx2/ktx2_texture.h"
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

// Decodes BC4 blocks (BC5 is two of them, red then green) into `channel`
// and the channel after it, for a picture of `width` pixels a row.
void DecodeBc4(const uint8_t* blocks, int width, int height, int channels, std::vector<uint8_t>& rgba) {
  const int blocksX = (width + 3) / 4;
  for (int by = 0; by < (height + 3) / 4; ++by) {
    for (int bx = 0; bx < blocksX; ++bx) {
      for (int c = 0; c < channels; ++c) {
        const uint8_t* block = blocks + ((by * blocksX + bx) * channels + c) * 8;
        int palette[8] = {block[0], block[1]};
        const bool eight = block[0] > block[1];
        for (int i = 1; i < (eight ? 7 : 5); ++i) {
          palette[i + 1] = ((eight ? 7 : 5) - i) * block[0] / (eight ? 7 : 5) + i * block[1] / (eight ? 7 : 5);
        }
        if (!eight) palette[6] = 0, palette[7] = 255;
        uint64_t bits = 0;
        for (int i = 7; i >= 2; --i) bits = (bits << 8) | block[i];
        for (int t = 0; t < 16; ++t) {
          const int x = bx * 4 + t % 4, y = by * 4 + t / 4;
          if (x < width && y < height) rgba[static_cast<size_t>((y * width + x) * 4 + c)] = static_cast<uint8_t>(palette[(bits >> (3 * t)) & 7]);
        }
      }
    }
  }
}

// Decodes BC7 blocks of the modes the encoder writes.
void DecodeBc7(const uint8_t* blocks, int width, int height, std::vector<uint8_t>& rgba) {
  const int blocksX = (width + 3) / 4;
  for (int b = 0; b < blocksX * ((height + 3) / 4); ++b) {
    uint8_t texels[64];
    ASSERT_TRUE(test::DecodeBc7Block(blocks + 16 * b, texels));
    for (int t = 0; t < 16; ++t) {
      const int x = (b % blocksX) * 4 + t % 4, y = (b / blocksX) * 4 + t / 4;
      if (x < width && y < height) std::copy_n(texels + 4 * t, 4, rgba.begin() + (y * width + x) * 4);
    }
  }
}

struct BcCase {
  int target;
  int squishFlags;  // 0: BC4/BC5, decoded here; -1: BC7, decoded here
  size_t blockBytes;
  const char* oracle;
  int firstChannel, lastChannel;
  double minimumPsnr;
};

TEST(Etc1sTranscode, BlockFormatsStayCloseToBasisusOwnTranscodes) {
  const BcCase cases[] = {
      {2, squish::kDxt1, 8, "bc1", 0, 2, 30.0},
      {3, squish::kDxt5, 16, "bc3", 0, 3, 30.0},
      {4, 0, 8, "bc4", 0, 0, 35.0},
      {5, 0, 16, "bc5", 0, 1, 30.0},
      {6, -1, 16, "bc7", 0, 2, 30.0},
  };
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    for (const BcCase& c : cases) {
      const auto texture = Transcoded(name + ".ktx2", c.target);
      ASSERT_TRUE(texture);
      const size_t levels = name == "etc1s_rgb_mips" ? 5 : 1;
      // 20x12, 10x6, 5x3, 2x1, 1x1: 15, 6, 2, 1 and 1 blocks.
      const size_t blocks = levels == 5 ? 15 + 6 + 2 + 1 + 1 : 15;
      EXPECT_EQ(texture->ImageData().size(), blocks * c.blockBytes) << name << " " << c.oracle;
      std::vector<uint8_t> decoded(20 * 12 * 4, 0);
      const std::vector<uint8_t> base = BaseLevel(*texture, 15 * c.blockBytes);
      if (c.squishFlags == 0) {
        DecodeBc4(base.data(), 20, 12, c.lastChannel + 1, decoded);
      } else if (c.squishFlags < 0) {
        DecodeBc7(base.data(), 20, 12, decoded);
      } else {
        squish::DecompressImage(decoded.data(), 20, 12, base.data(), c.squishFlags);
      }
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
