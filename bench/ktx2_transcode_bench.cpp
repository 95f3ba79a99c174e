// KTX2 transcoding speed per target, in megapixels per second over all mip
// levels, on 1024 x 1024 ETC1S and UASTC textures with mips made by basisu.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "content/ktx2/ktx2_texture.h"

namespace ovra::bench {
namespace {

std::shared_ptr<const std::vector<uint8_t>> Fixture(const std::string& name) {
  std::ifstream file(std::string(OVRA_KTX2_FIXTURES) + "/" + name, std::ios::binary);
  return std::make_shared<const std::vector<uint8_t>>(std::istreambuf_iterator<char>(file),
                                                      std::istreambuf_iterator<char>());
}

// Pixels of all levels of a square texture of side `side`.
double MipMegapixels(uint32_t side) {
  double pixels = 0;
  for (; side >= 1; side /= 2) pixels += double(side) * side;
  return pixels / 1e6;
}

void Transcode(benchmark::State& state, const std::shared_ptr<const std::vector<uint8_t>>& file, int target) {
  for (auto _ : state) {
    std::unique_ptr<ktx2::Texture> texture;
    if (ktx2::CreateFromMemory(file->data(), file->size(), texture) != ktx2::kSuccess ||
        texture->Transcode(target) != ktx2::kSuccess) {
      state.SkipWithError("cannot transcode");
      return;
    }
    benchmark::DoNotOptimize(texture->ImageData().data());
  }
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * MipMegapixels(1024), benchmark::Counter::kIsRate);
}

}  // namespace

void RegisterKtx2TranscodeBenchmarks() {
  const auto etc1s = Fixture("etc1s_1024_mips.ktx2");
  const auto uastc = Fixture("uastc_1024_mips.ktx2");
  const std::pair<const char*, int> targets[] = {{"ETC1_RGB", 0},      {"ETC2_RGBA", 1},     {"BC1_RGB", 2},
                                                 {"BC3_RGBA", 3},      {"BC4_R", 4},         {"BC5_RG", 5},
                                                 {"BC7_RGBA", 6},      {"RGBA32", 13},       {"PVRTC2_4_RGB", 18},
                                                 {"ETC2_EAC_R11", 20}, {"ETC2_EAC_RG11", 21}};
  for (const auto& [name, target] : targets) {
    benchmark::RegisterBenchmark((std::string("transcode/etc1s_1024/") + name).c_str(), Transcode, etc1s, target)
        ->Unit(benchmark::kMillisecond);
    if (target == 18) continue;  // UASTC does not reach PVRTC2
    benchmark::RegisterBenchmark((std::string("transcode/uastc_1024/") + name).c_str(), Transcode, uastc, target)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace ovra::bench
