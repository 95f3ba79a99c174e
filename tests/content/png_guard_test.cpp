#include "content/png_guard.h"

#include <gtest/gtest.h>

#include <string>

#include "content/texture_decoder.h"
#include "support/images.h"
#include "tzm_writer/zlib_compress.h"

namespace ovra {
namespace {

void PutChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  const auto length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(length >> shift));
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  png.insert(png.end(), 4, 0);  // CRC, not checked here
}

// A PNG of `width` x `height` RGBA pixels whose pixel data inflates to
// `inflated` zero bytes, less the last `cut` bytes of the compressed stream.
std::vector<uint8_t> Png(uint32_t width, uint32_t height, size_t inflated, bool interlaced = false, size_t cut = 0) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  for (uint32_t value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<uint8_t>(value >> shift));
  }
  header.insert(header.end(), {8, 6, 0, 0, static_cast<uint8_t>(interlaced ? 1 : 0)});
  PutChunk(png, "IHDR", header);
  std::vector<uint8_t> compressed = tools::CompressZlib(std::vector<uint8_t>(inflated, 0));
  compressed.resize(compressed.size() - cut);
  PutChunk(png, "IDAT", compressed);
  PutChunk(png, "IEND", {});
  return png;
}

TEST(PngGuardTest, JudgesPixelDataAgainstTheHeadersSize) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    bool bomb;
  };
  const std::vector<uint8_t> real = test::EncodePng(13, 7, 4, test::PatternPixels(13, 7, 4));
  std::vector<uint8_t> broken = Png(4, 4, 4 * 17);
  broken[broken.size() - 20] ^= 0xFF;  // inside the compressed data
  // Found by the texture fuzzer: a stream that stops before its end, which
  // the image decoder continued with zeros up to 2 GiB.
  const std::vector<uint8_t> unfinished = Png(37, 1, 1 + 37 * 4, false, 6);
  // Also found by the fuzzer: a chunk claiming 1.5 GB, which the image
  // decoder allocates before it reads.
  std::vector<uint8_t> lying = Png(4, 4, 4 * 17);
  lying.insert(lying.end() - 12, {0x5E, 0x00, 0x00, 0x2D, 'I', 'D', 'A', 'T', 0x78, 0x5E});
  const Case cases[] = {
      {"a real PNG", real, false},
      {"exactly the size its rows need", Png(4, 4, 4 * 17), false},
      {"interlaced, within bounds", Png(4, 4, 4 * 17 + 40, true), false},
      {"a 4 x 1 image holding a megabyte", Png(4, 1, 1 << 20), true},
      {"broken compressed data", broken, true},
      {"compressed data that stops early", unfinished, true},
      {"a chunk longer than the file", lying, true},
      {"no header chunk", {real.begin(), real.begin() + 12}, true},
      {"not a PNG", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, false},
  };
  for (const Case& test : cases) EXPECT_EQ(IsPngBomb(test.file), test.bomb) << test.what;
}

TEST(PngGuardTest, TextureDecoderRefusesABombWithoutAllocatingIt) {
  // Found by the texture fuzzer: 118 bytes that made the image decoder grow
  // its buffer to 2 GiB.
  const std::vector<uint8_t> bomb = Png(4, 1, size_t{16} << 20);
  const cxm::Texture texture = DecodeTexture(bomb, "bomb.png", nullptr);
  EXPECT_EQ(texture.format, 0u);
  EXPECT_TRUE(texture.pixels->empty());
}

}  // namespace
}  // namespace ovra
