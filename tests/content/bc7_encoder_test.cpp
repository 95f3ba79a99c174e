#include "content/ktx2/bc7_encoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>

#include "content/bc7_decode.h"

namespace ovra::ktx2 {
namespace {

double WorstError(const uint8_t a[64], const uint8_t b[64]) {
  int worst = 0;
  for (int i = 0; i < 64; ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

TEST(Bc7Encoder, RoundTripsBlocksWithinTheirRange) {
  std::mt19937 random(7);
  struct Case {
    const char* name;
    std::function<uint8_t(int texel, int channel)> value;
    int tolerance;
  };
  const Case cases[] = {
      {"solid", [](int, int c) { return static_cast<uint8_t>(40 + 50 * c); }, 1},
      {"two colours", [](int t, int c) { return static_cast<uint8_t>(t % 2 ? 250 - c : 3 + c); }, 1},
      {"horizontal ramp", [](int t, int c) { return static_cast<uint8_t>(c == 3 ? 255 : (t % 4) * 80); }, 4},
      {"alpha ramp", [](int t, int c) { return static_cast<uint8_t>(c == 3 ? t * 17 : 128); }, 4},
      {"anchor high", [](int t, int) { return static_cast<uint8_t>(t == 0 ? 255 : 10); }, 1},
      // Alpha that ignores the colour needs mode 5's separate alpha.
      {"alpha against colour", [](int t, int c) { return static_cast<uint8_t>(c == 3 ? (t * 7919) % 256 : t * 16); },
       45},
  };
  for (const Case& c : cases) {
    uint8_t pixels[64], block[16], decoded[64];
    for (int i = 0; i < 64; ++i) pixels[i] = c.value(i / 4, i % 4);
    EncodeBc7(pixels, block);
    ASSERT_TRUE(test::DecodeBc7Block(block, decoded)) << c.name;
    EXPECT_LE(WorstError(pixels, decoded), c.tolerance) << c.name;
  }
  // Random blocks: only bounded, as one line cannot follow them.
  double squared = 0;
  for (int n = 0; n < 200; ++n) {
    uint8_t pixels[64], block[16], decoded[64];
    for (uint8_t& p : pixels) p = static_cast<uint8_t>(random());
    EncodeBc7(pixels, block);
    ASSERT_TRUE(test::DecodeBc7Block(block, decoded));
    for (int i = 0; i < 64; ++i) squared += double(pixels[i] - decoded[i]) * (pixels[i] - decoded[i]);
  }
  EXPECT_LT(std::sqrt(squared / (200 * 64)), 80.0);
}

}  // namespace
}  // namespace ovra::ktx2
