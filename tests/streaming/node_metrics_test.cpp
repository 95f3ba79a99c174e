// What the selection reads of a node: its recorded level triangles and the
// distance weight of its priority.
#include "streaming/node_metrics.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "support/hand_model.h"

namespace ovra {
namespace {

using test::HandModel;

TEST(NodeMetrics, LevelTrianglesSkipLevelsWithoutTriangles) {
  HandModel hand;
  ModelNode& node = hand.AddNode(nullptr, {0, 1, 0, 1, 0, 1}, {100, 0, 25, 0});
  const LevelTriangles levels(node);
  EXPECT_EQ(levels.Coarsest(), 2);
  EXPECT_EQ(levels.NextFiner(2), 0);
  EXPECT_EQ(levels.NextFiner(0), -1);
  EXPECT_EQ(levels.At(2), 25);
  EXPECT_EQ(levels.At(4), 0) << "a level the node does not have";
  EXPECT_EQ(levels.At(-1), 0);

  ModelNode& empty = hand.AddNode(&node, {0, 1, 0, 1, 0, 1}, {0, 0});
  EXPECT_EQ(LevelTriangles(empty).Coarsest(), -1);
}

// Exponents 0 and 1 skip pow; every exponent must give pow's own value.
TEST(NodeMetrics, DistanceWeightIsThePowerOfTheDistanceBitForBit) {
  HandModel hand;
  ModelNode& node = hand.AddNode(nullptr, {0, 1, 0, 1, 0, 1}, {10});
  for (const Vec3 camera : {Vec3{0.5f, 0.5f, 0.5f}, Vec3{4.0f, 1.0f, 0.5f}, Vec3{-3.3f, 7.1f, 100.25f}}) {
    hand.SetCamera(camera);
    for (const bool center : {false, true}) {
      const double distance = NodeDistance(node, center);
      for (const float exponent : {0.0f, 1.0f, 0.5f, 2.0f, 1.7f, -1.0f}) {
        const double expected = std::pow(distance, static_cast<double>(exponent));
        EXPECT_EQ(std::bit_cast<uint64_t>(DistanceWeight(node, exponent, center)), std::bit_cast<uint64_t>(expected))
            << "distance " << distance << " exponent " << exponent;
      }
    }
  }
}

}  // namespace
}  // namespace ovra
