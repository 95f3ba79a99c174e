#include "tasks/download_cache.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

class DownloadCacheTest : public testing::Test {
 protected:
  void SetUp() override { cache.Clear(); }
  void TearDown() override { cache.Clear(); }
  DownloadCache& cache = DownloadCache::Instance();
};

constexpr size_t kMiB = size_t{1} << 20;

TEST_F(DownloadCacheTest, EvictsInInsertionOrderWhateverWasLookedUp) {
  for (int i = 0; i < 10; ++i) {
    cache.Insert("k" + std::to_string(i), std::vector<uint8_t>(6 * kMiB, static_cast<uint8_t>(i)));
    // Looking the oldest entry up does not save it from eviction.
    if (i < 8) {
      ASSERT_TRUE(cache.Lookup("k0")) << i;
    }
  }
  // 60 MiB inserted into 50: the first ones go, the eighth (k0..k7 = 48 MiB) still fits.
  EXPECT_FALSE(cache.Lookup("k0"));
  EXPECT_FALSE(cache.Lookup("k1"));
  for (int i = 2; i < 10; ++i) EXPECT_TRUE(cache.Lookup("k" + std::to_string(i))) << i;
  EXPECT_EQ(cache.TotalBytes(), 48 * kMiB);
}

TEST_F(DownloadCacheTest, ReinsertedKeyKeepsItsFirstBytesAndBecomesNewest) {
  cache.Insert("a", std::vector<uint8_t>(20 * kMiB, 1));
  cache.Insert("b", std::vector<uint8_t>(20 * kMiB, 2));
  cache.Insert("a", std::vector<uint8_t>(20 * kMiB, 9));
  EXPECT_EQ(cache.Lookup("a")->front(), 1);
  cache.Insert("c", std::vector<uint8_t>(20 * kMiB, 3));
  EXPECT_FALSE(cache.Lookup("b")) << "b is now the oldest";
  EXPECT_TRUE(cache.Lookup("a"));
  EXPECT_EQ(cache.TotalBytes(), 40 * kMiB);
}

TEST_F(DownloadCacheTest, EntryLargerThanTheBudgetIsNotStored) {
  cache.Insert("small", {1, 2, 3});
  cache.Insert("huge", std::vector<uint8_t>(DownloadCache::kBudgetBytes + 1));
  EXPECT_FALSE(cache.Lookup("huge"));
  EXPECT_TRUE(cache.Lookup("small"));
  cache.Insert("exact", std::vector<uint8_t>(DownloadCache::kBudgetBytes));
  EXPECT_TRUE(cache.Lookup("exact"));
  EXPECT_FALSE(cache.Lookup("small"));
  EXPECT_EQ(cache.TotalBytes(), DownloadCache::kBudgetBytes);
}

TEST_F(DownloadCacheTest, ClearDropsEntriesAndCountsButModelSerialsRunOn) {
  cache.Insert("a", {1});
  cache.CountHit();
  cache.CountMiss();
  const uint64_t serial = cache.TakeModelSerial();
  EXPECT_EQ(cache.TakeModelSerial(), serial + 1);
  cache.Clear();
  EXPECT_FALSE(cache.Lookup("a"));
  EXPECT_EQ(cache.TotalBytes(), 0u);
  EXPECT_EQ(cache.CacheHits(), 0u);
  EXPECT_EQ(cache.CacheMisses(), 0u);
  EXPECT_EQ(cache.TakeModelSerial(), serial + 2) << "a model that still lives may hold the earlier serials";
}

}  // namespace
}  // namespace ovra
