#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>

#include "content/ktx2/ktx2_texture.h"
#include "content/texture_decoder.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"

namespace ovra::ktx2 {
namespace {

std::vector<uint8_t> Fixture(const std::string& name) {
  std::ifstream file(std::string(OVRA_KTX2_FIXTURES) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}
void Put64(std::vector<uint8_t>& bytes, size_t at, uint64_t value) {
  Put32(bytes, at, static_cast<uint32_t>(value));
  Put32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

// Writes KTX2 files of any shape, right or wrong, for the reader's checks.
struct Ktx2Builder {
  uint32_t vkFormat = 37;  // R8G8B8A8_UNORM
  uint32_t width = 4, height = 4, depth = 0, layers = 0, faces = 1;
  uint32_t scheme = 0;
  uint8_t colorModel = 1;
  std::vector<uint8_t> channels = {0, 1, 2, 15};
  std::vector<uint8_t> globalData;
  std::vector<std::vector<uint8_t>> storedLevels;  // level 0 first
  std::vector<uint64_t> inflatedLengths;           // empty: the stored sizes

  std::vector<uint8_t> Build() const {
    const size_t levelCount = storedLevels.size();
    const size_t dfdOffset = 80 + 24 * levelCount;
    const size_t dfdLength = 4 + 24 + 16 * channels.size();
    const size_t sgdOffset = (dfdOffset + dfdLength + 7) / 8 * 8;
    size_t dataOffset = sgdOffset + globalData.size();
    std::vector<uint8_t> file(dataOffset);
    const uint8_t identifier[12] = {0xAB, 'K', 'T', 'X', ' ', '2', '0', 0xBB, '\r', '\n', 0x1A, '\n'};
    std::memcpy(file.data(), identifier, 12);
    const uint32_t header[9] = {vkFormat, 1, width, height, depth, layers, faces, static_cast<uint32_t>(levelCount),
                                scheme};
    for (size_t i = 0; i < 9; ++i) Put32(file, 12 + 4 * i, header[i]);
    Put32(file, 48, static_cast<uint32_t>(dfdOffset));
    Put32(file, 52, static_cast<uint32_t>(dfdLength));
    Put64(file, 64, globalData.empty() ? 0 : sgdOffset);
    Put64(file, 72, globalData.size());
    Put32(file, dfdOffset, static_cast<uint32_t>(dfdLength));
    Put32(file, dfdOffset + 8, static_cast<uint32_t>(2 | ((dfdLength - 4) << 16)));
    file[dfdOffset + 12] = colorModel;
    for (size_t i = 0; i < channels.size(); ++i) file[dfdOffset + 4 + 24 + 16 * i + 3] = channels[i];
    std::copy(globalData.begin(), globalData.end(), file.begin() + static_cast<long>(sgdOffset));
    // Level data smallest first, as writers store it.
    for (size_t level = levelCount; level-- > 0;) {
      const std::vector<uint8_t>& stored = storedLevels[level];
      Put64(file, 80 + 24 * level, dataOffset);
      Put64(file, 80 + 24 * level + 8, stored.size());
      Put64(file, 80 + 24 * level + 16, inflatedLengths.empty() ? stored.size() : inflatedLengths[level]);
      file.insert(file.end(), stored.begin(), stored.end());
      dataOffset += stored.size();
    }
    return file;
  }
};

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), seed);
  return bytes;
}

std::vector<uint8_t> Zstd(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> out(ZSTD_compressBound(bytes.size()));
  out.resize(ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 3));
  return out;
}

std::vector<uint8_t> Zlib(const std::vector<uint8_t>& bytes) {
  uLongf size = compressBound(bytes.size());
  std::vector<uint8_t> out(size);
  compress(out.data(), &size, bytes.data(), bytes.size());
  out.resize(size);
  return out;
}

// A plain 4x4 RGBA8 texture with its 2x2 and 1x1 levels.
Ktx2Builder PlainWithMips() {
  Ktx2Builder builder;
  builder.storedLevels = {Pattern(64, 0), Pattern(16, 100), Pattern(4, 200)};
  return builder;
}

int Open(const std::vector<uint8_t>& bytes, std::unique_ptr<Texture>& texture) {
  return CreateFromMemory(bytes.data(), bytes.size(), texture);
}

struct FixtureCase {
  const char* file;
  uint32_t width, height, components;
  uint64_t storedBytes;  // 0: not checked (BasisLZ sizes vary with the encoder)
};

TEST(Ktx2Fixtures, OpenWithTheirSizeAndComponents) {
  const FixtureCase cases[] = {
      {"etc1s_rgb_mips.ktx2", 20, 12, 3, 0},
      {"etc1s_rgba.ktx2", 20, 12, 4, 0},
      {"etc1s_gray.ktx2", 16, 16, 3, 0},
      {"etc1s_cubemap.ktx2", 8, 8, 3, 0},
      {"uastc_rgb_zstd.ktx2", 20, 12, 3, 240},
      {"uastc_rgba_zstd_mips.ktx2", 20, 12, 4, 240 + 96 + 32 + 16 + 16},
      {"uastc_rgba_raw_mips.ktx2", 20, 12, 4, 400},
      {"uastc_array.ktx2", 8, 8, 4, 2 * 4 * 16},
  };
  for (const FixtureCase& c : cases) {
    std::unique_ptr<Texture> texture;
    ASSERT_EQ(Open(Fixture(c.file), texture), kSuccess) << c.file;
    EXPECT_EQ(texture->BaseWidth(), c.width) << c.file;
    EXPECT_EQ(texture->BaseHeight(), c.height) << c.file;
    EXPECT_EQ(texture->NumComponents(), c.components) << c.file;
    if (c.storedBytes != 0) {
      EXPECT_EQ(texture->ImageData().size(), c.storedBytes) << c.file;
    }
  }
}

TEST(Ktx2Fixtures, ZstandardIsRemovedToTheSameBytesTheUncompressedFileHolds) {
  std::unique_ptr<Texture> zstd, raw;
  ASSERT_EQ(Open(Fixture("uastc_rgba_zstd_mips.ktx2"), zstd), kSuccess);
  ASSERT_EQ(Open(Fixture("uastc_rgba_raw_mips.ktx2"), raw), kSuccess);
  const std::span<const uint8_t> a = zstd->ImageData(), b = raw->ImageData();
  EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end()));
}

TEST(Ktx2Fixtures, EveryTruncatedPrefixIsRefused) {
  for (const char* name : {"etc1s_rgb_mips.ktx2", "uastc_rgba_zstd_mips.ktx2", "uastc_array.ktx2"}) {
    const std::vector<uint8_t> file = Fixture(name);
    for (size_t size = 0; size < file.size(); ++size) {
      const std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<long>(size));
      std::unique_ptr<Texture> texture;
      EXPECT_NE(Open(prefix, texture), kSuccess) << name << " cut to " << size;
      EXPECT_EQ(texture, nullptr);
    }
  }
}

TEST(Ktx2Reader, LevelsComeSmallestFirstWithSupercompressionRemoved) {
  const Ktx2Builder plain = PlainWithMips();
  std::vector<uint8_t> expected;
  for (size_t level = plain.storedLevels.size(); level-- > 0;) {
    expected.insert(expected.end(), plain.storedLevels[level].begin(), plain.storedLevels[level].end());
  }
  const auto compressed = [&](uint32_t scheme, auto compress) {
    Ktx2Builder builder = plain;
    builder.scheme = scheme;
    builder.inflatedLengths.clear();
    for (auto& level : builder.storedLevels) {
      builder.inflatedLengths.push_back(level.size());
      level = compress(level);
    }
    return builder.Build();
  };
  for (const std::vector<uint8_t>& file : {plain.Build(), compressed(2, Zstd), compressed(3, Zlib)}) {
    std::unique_ptr<Texture> texture;
    ASSERT_EQ(Open(file, texture), kSuccess);
    const std::span<const uint8_t> data = texture->ImageData();
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), expected);
    EXPECT_EQ(texture->NumComponents(), 4u) << "four samples";
    EXPECT_EQ(texture->Transcode(6), kInvalidOperation) << "only Basis Universal payloads transcode";
  }
}

TEST(Ktx2Reader, TranscodeTargetsAreChecked) {
  std::unique_ptr<Texture> texture;
  ASSERT_EQ(Open(Fixture("uastc_rgb_zstd.ktx2"), texture), kSuccess);
  EXPECT_EQ(texture->Transcode(99), kInvalidValue);
  EXPECT_EQ(texture->Transcode(18), kUnsupportedFeature) << "UASTC does not reach PVRTC2";
  EXPECT_EQ(texture->Transcode(6), kSuccess) << "a refused target leaves the texture as it was";
}

struct RejectionCase {
  const char* name;
  std::function<void(Ktx2Builder&)> change;
  std::function<void(std::vector<uint8_t>&)> corrupt;  // after building, may be empty
  int expected;
};

TEST(Ktx2Reader, RefusesMalformedFilesWithTheirCodes) {
  const auto none = [](Ktx2Builder&) {};
  const RejectionCase cases[] = {
      {"identifier", none, [](auto& f) { f[1] = 'Q'; }, kUnknownFileFormat},
      {"header cut short", none, [](auto& f) { f.resize(60); }, kFileUnexpectedEof},
      {"zero width", [](auto& b) { b.width = 0; }, {}, kFileDataError},
      {"three faces", [](auto& b) { b.faces = 3; }, {}, kFileDataError},
      {"cube map that is not square", [](auto& b) { b.faces = 6, b.height = 2; }, {}, kFileDataError},
      {"volume texture", [](auto& b) { b.depth = 2; }, {}, kUnsupportedTextureType},
      {"more levels than the size allows",
       [](auto& b) { b.storedLevels.push_back(Pattern(4, 0)); },
       {},
       kFileDataError},
      {"wider than a texture may be", [](auto& b) { b.width = b.height = 20000; }, {}, kOutOfMemory},
      {"unknown supercompression", [](auto& b) { b.scheme = 9; }, {}, kUnsupportedFeature},
      {"BasisLZ with a Vulkan format",
       [](auto& b) { b.scheme = 1, b.globalData = Pattern(16, 0); },
       {},
       kFileDataError},
      {"BasisLZ without global data", [](auto& b) { b.scheme = 1, b.vkFormat = 0; }, {}, kFileDataError},
      {"ETC1S without BasisLZ", [](auto& b) { b.colorModel = 163, b.channels = {0}; }, {}, kFileDataError},
      {"three Basis channels",
       [](auto& b) {
         b.vkFormat = 0, b.colorModel = 166, b.channels = {0, 1, 2};
       },
       {},
       kFileDataError},
      {"level past the end", none, [](auto& f) { Put64(f, 80, f.size() - 10); }, kFileUnexpectedEof},
      {"level length beyond any file", none, [](auto& f) { Put64(f, 88, ~uint64_t{0}); }, kFileUnexpectedEof},
      {"descriptor past the end", none, [](auto& f) { Put32(f, 48, static_cast<uint32_t>(f.size())); },
       kFileUnexpectedEof},
      {"descriptor block size", none, [](auto& f) { f[f[48] + 10] = 30; }, kFileDataError},
      {"inflated length that differs from stored", none, [](auto& f) { Put64(f, 96, 65); }, kFileDataError},
      {"inflated size beyond the limit",
       [](auto& b) {
         b.scheme = 2, b.inflatedLengths = {uint64_t{1} << 40, 16, 4};
       },
       {},
       kOutOfMemory},
      {"Zstandard stream that is not one",
       [](auto& b) {
         b.scheme = 2, b.inflatedLengths = {64, 16, 4};
       },
       {},
       kFileDataError},
      {"Zstandard stream shorter than claimed",
       [](auto& b) {
         b.scheme = 2, b.inflatedLengths = {80, 16, 4}, b.storedLevels[0] = Zstd(Pattern(64, 0)),
         b.storedLevels[1] = Zstd(Pattern(16, 0)), b.storedLevels[2] = Zstd(Pattern(4, 0));
       },
       {},
       kDecompressLengthError},
      {"ZLIB stream longer than claimed",
       [](auto& b) {
         b.scheme = 3, b.inflatedLengths = {60, 16, 4}, b.storedLevels[0] = Zlib(Pattern(64, 0)),
         b.storedLevels[1] = Zlib(Pattern(16, 0)), b.storedLevels[2] = Zlib(Pattern(4, 0));
       },
       {},
       kDecompressLengthError},
  };
  for (const RejectionCase& c : cases) {
    Ktx2Builder builder = PlainWithMips();
    c.change(builder);
    std::vector<uint8_t> file = builder.Build();
    if (c.corrupt) c.corrupt(file);
    std::unique_ptr<Texture> texture;
    EXPECT_EQ(Open(file, texture), c.expected) << c.name;
    EXPECT_EQ(texture, nullptr) << c.name;
  }
  std::unique_ptr<Texture> texture;
  EXPECT_EQ(CreateFromMemory(nullptr, 10, texture), kInvalidValue);
}

TEST(Ktx2Decoding, KeepingTheStoredFormatGivesTheLevelDataWithFormatZero) {
  test::RecordingRenderer renderer;
  const cxm::Texture texture = DecodeTexture(Fixture("uastc_rgba_zstd_mips.ktx2"), "albedo.ktx2", &renderer);
  std::unique_ptr<Texture> raw;
  ASSERT_EQ(Open(Fixture("uastc_rgba_raw_mips.ktx2"), raw), kSuccess);
  EXPECT_EQ(texture.format, 0u);
  EXPECT_EQ(texture.width, 20u);
  EXPECT_EQ(texture.height, 12u);
  EXPECT_EQ(*texture.pixels, std::vector<uint8_t>(raw->ImageData().begin(), raw->ImageData().end()));
}

TEST(Ktx2Decoding, AFailedTranscodeIsNotLabelledWithTheAskedFormat) {
  test::ScopedRecordingLogger log;
  test::RecordingRenderer renderer;
  renderer.SetTranscodeFormat(18);  // PVRTC2, which UASTC does not reach
  const cxm::Texture texture = DecodeTexture(Fixture("uastc_rgba_zstd_mips.ktx2"), "albedo.ktx2", &renderer);
  EXPECT_EQ(texture.format, 0u) << "no renderer may upload these bytes as PVRTC2";
  EXPECT_EQ(texture.width, 20u);
  EXPECT_FALSE(texture.pixels->empty()) << "the stored data, as it was";
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "Error: Could not transcode KTX texture, error code: 17");
}

}  // namespace
}  // namespace ovra::ktx2
