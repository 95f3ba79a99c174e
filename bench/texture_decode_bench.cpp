// Image-file decoding: our path (the PNG guard, then stb_image) side by side
// with libpng and libjpeg-turbo on the same files, in megapixels per second.
#include <benchmark/benchmark.h>
#include <png.h>
#include <stb/stb_image.h>
#include <turbojpeg.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "content/texture_decoder.h"
#include "support/images.h"

namespace ovra::bench {
namespace {

struct ImageFile {
  std::vector<uint8_t> bytes;
  double megapixels = 0.0;
};

std::shared_ptr<ImageFile> Generated(bool png, int side) {
  auto file = std::make_shared<ImageFile>();
  const auto pixels = test::PatternPixels(side, side, 3);
  file->bytes = png ? test::EncodePng(side, side, 3, pixels) : test::EncodeJpeg(side, side, 3, pixels);
  file->megapixels = side * side / 1e6;
  return file;
}

std::shared_ptr<ImageFile> FromDisk(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  auto file = std::make_shared<ImageFile>();
  file->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  int width = 0, height = 0, channels = 0;
  stbi_info_from_memory(file->bytes.data(), static_cast<int>(file->bytes.size()), &width, &height, &channels);
  file->megapixels = width * height / 1e6;
  return file;
}

void SetRate(benchmark::State& state, const ImageFile& file) {
  state.counters["Mpix/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * file.megapixels, benchmark::Counter::kIsRate);
}

void DecodeWithOvra(benchmark::State& state, const std::shared_ptr<ImageFile>& file, const char* name) {
  for (auto _ : state) {
    const cxm::Texture texture = DecodeTexture(file->bytes, name, nullptr);
    if (texture.format == 0) {
      state.SkipWithError("not decoded");
      return;
    }
    benchmark::DoNotOptimize(texture.pixels->data());
  }
  SetRate(state, *file);
}

void DecodeWithLibpng(benchmark::State& state, const std::shared_ptr<ImageFile>& file) {
  std::vector<uint8_t> pixels;
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file->bytes.data(), file->bytes.size())) {
      state.SkipWithError("libpng cannot read it");
      return;
    }
    pixels.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
  SetRate(state, *file);
}

void DecodeWithTurbojpeg(benchmark::State& state, const std::shared_ptr<ImageFile>& file) {
  std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
  std::vector<uint8_t> pixels;
  for (auto _ : state) {
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    tjDecompressHeader3(handle.get(), file->bytes.data(), file->bytes.size(), &width, &height, &subsampling,
                        &colorspace);
    pixels.resize(static_cast<size_t>(width) * height * 3);
    if (tjDecompress2(handle.get(), file->bytes.data(), file->bytes.size(), pixels.data(), width, 0, height, TJPF_RGB,
                      0) != 0) {
      state.SkipWithError("libjpeg-turbo cannot read it");
      return;
    }
    benchmark::DoNotOptimize(pixels.data());
  }
  SetRate(state, *file);
}

void RegisterPng(const std::string& name, std::shared_ptr<ImageFile> file) {
  benchmark::RegisterBenchmark(("image/" + name + "/ovra").c_str(), DecodeWithOvra, file, "map.png")
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("image/" + name + "/libpng").c_str(), DecodeWithLibpng, file)
      ->Unit(benchmark::kMillisecond);
}

void RegisterJpeg(const std::string& name, std::shared_ptr<ImageFile> file) {
  benchmark::RegisterBenchmark(("image/" + name + "/ovra").c_str(), DecodeWithOvra, file, "map.jpg")
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(("image/" + name + "/turbojpeg").c_str(), DecodeWithTurbojpeg, file)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

void RegisterTextureDecodeBenchmarks() {
  RegisterPng("png_generated_1024", Generated(true, 1024));
  RegisterPng("png_CesiumMilkTruck", FromDisk("/usr/share/assimp/models/glTF/CesiumMilkTruck/CesiumMilkTruck.png"));
  RegisterJpeg("jpeg_generated_1024", Generated(false, 1024));
  RegisterJpeg("jpeg_earthSpherical", FromDisk("/usr/share/assimp/models/LWO/LWO2/MappingModes/earthSpherical.jpg"));
}

}  // namespace ovra::bench
