#include "format/inflate.h"

#include <gtest/gtest.h>

#include <random>

#include "tzm_writer/zlib_compress.h"

namespace ovra {
namespace {

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, size_t maxOutput = kMaxInflatedBytes) {
  return InflateZlib(stream.data(), stream.size(), maxOutput);
}

// Mostly zeros with some noise: compresses well, but not to nothing.
std::vector<uint8_t> Compressible(size_t size, unsigned seed) {
  std::vector<uint8_t> data(size, 0);
  std::mt19937 random(seed);
  for (size_t i = 0; i < size; i += 64) data[i] = static_cast<uint8_t>(random());
  return data;
}

TEST(InflateZlib, RoundTripsAcrossCompressionRatios) {
  for (size_t size : {size_t{1}, size_t{100}, size_t{5000}, size_t{1} << 20}) {
    const auto data = Compressible(size, 7);
    EXPECT_EQ(Inflate(tools::CompressZlib(data)), data) << size;
  }
  const std::vector<uint8_t> zeros(3u << 20, 0);  // ratio far above 5 and 15
  EXPECT_EQ(Inflate(tools::CompressZlib(zeros)), zeros);
}

TEST(InflateZlib, OutputAtAndJustPastFiveTimesTheInput) {
  // Data ignored after the end of the stream pads the input so that the
  // output is exactly 5 times it, then one byte more.
  for (size_t extra : {size_t{0}, size_t{1}}) {
    const size_t inputSize = 4000;
    const auto data = Compressible(inputSize * 5 + extra, 3);
    auto stream = tools::CompressZlib(data);
    ASSERT_LT(stream.size(), inputSize);
    stream.resize(inputSize, 0xAA);
    EXPECT_EQ(Inflate(stream), data) << "extra " << extra;
  }
}

TEST(InflateZlib, UndecompressableInputGivesNothing) {
  const auto data = Compressible(10000, 1);
  const auto stream = tools::CompressZlib(data);
  const std::vector<uint8_t> truncated(stream.begin(), stream.begin() + stream.size() / 2);
  std::vector<uint8_t> corrupted = stream;
  corrupted[stream.size() / 2] ^= 0xFF;
  const std::vector<uint8_t> raw = {'0', ';', '1', '0', ';', 'a'};
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}}, {"truncated", truncated}, {"corrupted", corrupted}, {"not zlib", raw}};
  for (const auto& [name, input] : cases) EXPECT_TRUE(Inflate(input).empty()) << name;
}

TEST(InflateZlib, StreamLargerThanTheLimitIsRefused) {
  const std::vector<uint8_t> zeros(1 << 20, 0);
  const auto stream = tools::CompressZlib(zeros);
  EXPECT_TRUE(Inflate(stream, zeros.size() - 1).empty());
  EXPECT_EQ(Inflate(stream, zeros.size()), zeros);
}

}  // namespace
}  // namespace ovra
