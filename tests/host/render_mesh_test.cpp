#include "ovra/render_mesh.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

TEST(TextureFormatComponents, FollowsTheFormatTableForEveryCode) {
  struct Case {
    uint32_t format;
    uint16_t components;
  };
  const Case table[] = {
      {0, 0},   {1, 1},   {2, 2},   {3, 3},   {4, 4},   {100, 3}, {101, 4}, {102, 3},
      {103, 4}, {104, 1}, {105, 2}, {106, 4}, {107, 3}, {108, 1}, {109, 2},
      // Codes outside the table have no channels.
      {5, 0},   {99, 0},  {110, 0}, {0xFFFFFFFFu, 0},
  };
  for (const Case& c : table) {
    EXPECT_EQ(TextureFormatComponents(c.format), c.components) << "format " << c.format;
  }
}

}  // namespace
}  // namespace ovra
