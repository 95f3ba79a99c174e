// EAC blocks: the modifier tables and bit layout checked on basisu's own
// blocks and decodes, then our encoder, then ETC1S transcodes to the three
// EAC-based targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "content/block_decoders.h"
#include "content/ktx2/eac_encoder.h"
#include "content/ktx2/ktx2_texture.h"
#include "content/ktx2_fixtures.h"

namespace ovra::ktx2 {
namespace {

std::vector<uint8_t> Read(const std::string& name) { return test::ReadFixture(name); }

std::vector<uint8_t> Ktx1BaseLevel(const std::vector<uint8_t>& file) { return test::Ktx1Levels(file)[0]; }

// Channel `channel` of a PNG, as 8-bit values row by row.
std::vector<uint8_t> PngChannel(const std::string& name, int channel) {
  const test::Picture picture = test::PngFixture(name);
  std::vector<uint8_t> values;
  for (size_t i = static_cast<size_t>(channel); i < picture.rgba.size(); i += 4) values.push_back(picture.rgba[i]);
  return values;
}

// Decodes a level of EAC blocks (`stride` bytes apart, first at `offset`)
// of a 20 x 12 picture.
std::vector<int> DecodeLevel(const std::vector<uint8_t>& blocks, size_t offset, size_t stride) {
  std::vector<int> values(20 * 12);
  for (size_t b = 0; b < 15; ++b) {
    const auto decoded = test::DecodeEacBlock(blocks.data() + offset + b * stride);
    for (size_t t = 0; t < 16; ++t) values[(b / 5 * 4 + t / 4) * 20 + b % 5 * 4 + t % 4] = decoded[t];
  }
  return values;
}

int WorstDifference(const std::vector<int>& ours, const std::vector<uint8_t>& theirs) {
  int worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - theirs[i]));
  return worst;
}

TEST(Eac, BasisusOwnBlocksDecodeToItsPictures) {
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    const std::vector<uint8_t> etc2 = Ktx1BaseLevel(Read("oracle/" + name + ".etc2.ktx"));
    // basisu draws the alpha channel as a grey picture.
    EXPECT_EQ(WorstDifference(DecodeLevel(etc2, 0, 16), PngChannel("oracle/" + name + ".etc2a.png", 0)), 0)
        << name << ": ETC2 alpha is the 8-bit decode";
    const std::vector<uint8_t> r11 = Ktx1BaseLevel(Read("oracle/" + name + ".r11.ktx"));
    EXPECT_LE(WorstDifference(DecodeLevel(r11, 0, 8), PngChannel("oracle/" + name + ".r11.png", 0)), 1)
        << name << ": R11 is the 11-bit decode, rounded to 8 bits";
  }
}

TEST(Eac, EncoderFollowsBlocksWithinTheTablesReach) {
  std::mt19937 random(11);
  struct Case {
    const char* name;
    std::function<uint8_t(int)> value;
    int tolerance;
  };
  const Case cases[] = {
      {"flat", [](int) { return uint8_t{77}; }, 0},
      {"two values", [](int t) { return static_cast<uint8_t>(t % 3 ? 20 : 220); }, 8},
      {"ramp", [](int t) { return static_cast<uint8_t>(t * 16); }, 17},  // 8 levels over 240: half a step
      {"opaque with one hole", [](int t) { return static_cast<uint8_t>(t == 5 ? 0 : 255); }, 0},
      {"noise", [&](int) { return static_cast<uint8_t>(random()); }, 60},
  };
  for (const Case& c : cases) {
    uint8_t values[16], block[8];
    for (int i = 0; i < 16; ++i) values[i] = c.value(i);
    EncodeEac(values, block);
    const auto decoded = test::DecodeEacBlock(block);
    int worst = 0;
    for (int i = 0; i < 16; ++i) worst = std::max(worst, std::abs(decoded[static_cast<size_t>(i)] - values[i]));
    EXPECT_LE(worst, c.tolerance) << c.name;
  }
}

double Psnr(const std::vector<int>& ours, const std::vector<uint8_t>& theirs) {
  double squared = 0;
  for (size_t i = 0; i < ours.size(); ++i) squared += double(ours[i] - theirs[i]) * (ours[i] - theirs[i]);
  return squared == 0 ? 99.0 : 10 * std::log10(255.0 * 255 * static_cast<double>(ours.size()) / squared);
}

struct TargetCase {
  int target;
  size_t stride;    // bytes per block
  size_t offset;    // of the EAC block checked
  const char* png;  // basisu's decode
  int pngChannel;
};

TEST(Eac, Etc1sTranscodesStayCloseToBasisus) {
  const TargetCase cases[] = {
      {1, 16, 0, "etc2a", 0},  // ETC2 RGBA: the alpha block, drawn grey
      {20, 8, 0, "r11", 0},
      {21, 16, 0, "rg11", 0},  // RG11: red
      {21, 16, 8, "rg11", 1},  // RG11: green, from the alpha slice
  };
  for (const std::string name : {"etc1s_rgb_mips", "etc1s_rgba"}) {
    for (const TargetCase& c : cases) {
      const std::vector<uint8_t> file = Read(name + ".ktx2");
      std::unique_ptr<Texture> texture;
      ASSERT_EQ(CreateFromMemory(file.data(), file.size(), texture), kSuccess);
      ASSERT_EQ(texture->Transcode(c.target), kSuccess) << name << " " << c.target;
      const std::span<const uint8_t> data = texture->ImageData();
      const std::vector<uint8_t> base(data.end() - static_cast<long>(15 * c.stride), data.end());
      const double psnr = Psnr(DecodeLevel(base, c.offset, c.stride),
                               PngChannel("oracle/" + name + "." + c.png + ".png", c.pngChannel));
      EXPECT_GT(psnr, 35.0) << name << " target " << c.target;
      RecordProperty(name + "_" + std::to_string(c.target) + "_" + std::to_string(c.offset) + "_psnr",
                     std::to_string(psnr));
    }
  }
}

}  // namespace
}  // namespace ovra::ktx2
