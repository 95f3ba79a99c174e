// A model whose colour maps are KTX2 textures, streamed with renderers that
// ask for different transcode targets.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "ovra/ovra.h"
#include "support/model_files.h"
#include "support/recording_data_source.h"
#include "support/recording_renderer.h"

namespace ovra {
namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
  std::ifstream file(std::string(OVRA_KTX2_FIXTURES) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Two nodes, each one level of geometry with a 20 x 12 KTX2 texture.
std::vector<uint8_t> ModelWithKtx2ColourMaps(const std::string& texture) {
  return test::TwoTexturedNodes("albedo.ktx2", Fixture(texture)).Write();
}

struct TargetCase {
  const char* name;
  const char* texture;
  int target;
  uint32_t format;
  uint64_t bytes;  // 0: the stored size, whatever it is
};

TEST(Ktx2StreamingTest, ColourMapsArriveInTheFormatTheRendererAsked) {
  const TargetCase cases[] = {
      {"ETC1S as BC7", "etc1s_rgba.ktx2", 6, kTextureFormatBc7Rgba, 5 * 3 * 16},
      {"ETC1S as RGBA32", "etc1s_rgba.ktx2", 13, kTextureFormatRGBA8, 20 * 12 * 4},
      {"ETC1S as BC1", "etc1s_rgba.ktx2", 2, kTextureFormatBc1Rgb, 5 * 3 * 8},
      {"ETC1S as PVRTC2", "etc1s_rgba.ktx2", 18, kTextureFormatPvrtc2Rgb4bpp, 5 * 3 * 8},
      {"ETC1S stored", "etc1s_rgba.ktx2", IMeshRenderer::kKeepStoredFormat, kTextureFormatNone, 0},
      // Five levels, 20x12 to 1x1, 25 blocks in all; uncompressed pixels come
      // as the base level alone, as from any picture file.
      {"UASTC as BC7", "uastc_rgba_zstd_mips.ktx2", 6, kTextureFormatBc7Rgba, 25 * 16},
      {"UASTC as RGBA32", "uastc_rgba_zstd_mips.ktx2", 13, kTextureFormatRGBA8, 20 * 12 * 4},
      {"UASTC as ETC2", "uastc_rgba_zstd_mips.ktx2", 1, kTextureFormatEtc2Rgba, 25 * 16},
      {"UASTC stored", "uastc_rgba_zstd_mips.ktx2", IMeshRenderer::kKeepStoredFormat, kTextureFormatNone, 0},
      {"UASTC to PVRTC2, which it cannot reach", "uastc_rgba_zstd_mips.ktx2", 18, kTextureFormatNone, 0},
  };
  for (const TargetCase& c : cases) {
    const std::vector<uint8_t> file = ModelWithKtx2ColourMaps(c.texture);
    test::RecordingDataSource source(file, test::RecordingDataSource::Mode::AnswerImmediately);
    test::RecordingRenderer renderer;
    renderer.SetTranscodeFormat(c.target);
    Model model;
    model.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!model.InitializationComplete() && std::chrono::steady_clock::now() < deadline) {
      model.UpdateRunningTasks();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(model.InitializationComplete()) << c.name;
    ASSERT_EQ(renderer.Added().size(), 2u) << c.name;
    for (const auto& mesh : renderer.Added()) {
      const auto& colour = mesh.textures[0];
      EXPECT_EQ(colour.format, c.format) << c.name;
      EXPECT_EQ(colour.width, 20u) << c.name;
      EXPECT_EQ(colour.height, 12u) << c.name;
      EXPECT_EQ(colour.components, TextureFormatComponents(c.format)) << c.name;
      if (c.bytes != 0) {
        EXPECT_EQ(colour.pixels.size(), c.bytes) << c.name;
      } else {
        EXPECT_FALSE(colour.pixels.empty()) << c.name;
      }
    }
  }
}

}  // namespace
}  // namespace ovra
