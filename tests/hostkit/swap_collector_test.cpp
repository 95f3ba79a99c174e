#include "ovra/host/swap_collector.h"

#include <gtest/gtest.h>

namespace ovra::host {
namespace {

TEST(SwapCollectorTest, HandsOverEachSwapOnceAllItsMeshesAreInWithOneCallback) {
  SwapCollector swaps;
  int calls = 0;
  auto callback = [&calls] { ++calls; };
  EXPECT_TRUE(swaps.Add(8, -1, 0, {})) << "a first load shows at once";
  EXPECT_EQ(swaps.PendingOperations(), 0u);

  // Two operations interleaved: 7 needs three meshes, 9 one.
  EXPECT_FALSE(swaps.Add(20, 7, 3, callback));
  EXPECT_FALSE(swaps.Add(21, 7, 3, callback));
  EXPECT_FALSE(swaps.Add(40, 9, 1, callback));
  EXPECT_EQ(swaps.PendingOperations(), 2u);
  std::vector<CompleteSwap> complete = swaps.TakeComplete();
  ASSERT_EQ(complete.size(), 1u);
  EXPECT_EQ(complete[0].operationId, 9);
  EXPECT_TRUE(swaps.TakeComplete().empty()) << "taken once";

  EXPECT_FALSE(swaps.Add(22, 7, 3, callback));
  complete = swaps.TakeComplete();
  ASSERT_EQ(complete.size(), 1u);
  EXPECT_EQ(complete[0].meshIds, (std::vector<int>{20, 21, 22}));
  complete[0].onShown();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(swaps.PendingOperations(), 0u);

  // An id may be reused once its swap was handed over; a reset forgets all.
  EXPECT_FALSE(swaps.Add(30, 7, 2, callback));
  swaps.Clear();
  EXPECT_EQ(swaps.PendingOperations(), 0u);
  EXPECT_FALSE(swaps.Add(31, 7, 2, callback));
  EXPECT_TRUE(swaps.TakeComplete().empty()) << "the mesh before the reset does not count";
}

}  // namespace
}  // namespace ovra::host
