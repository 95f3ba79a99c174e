#include "tasks/downloader.h"

#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "host/data_source_pimpl.h"
#include "support/pump.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "tasks/download_cache.h"

namespace ovra {
namespace {

using test::RecordingDataSource;
using Request = RecordingDataSource::Request;

std::vector<uint8_t> CountingFile(size_t size) {
  std::vector<uint8_t> file(size);
  for (size_t i = 0; i < size; ++i) file[i] = static_cast<uint8_t>(i * 7 + i / 256);
  return file;
}

ModelFileEntry Entry(uint64_t offset, uint64_t size, std::string name) {
  ModelFileEntry entry;
  entry.offset = offset;
  entry.size = size;
  entry.name = std::move(name);
  return entry;
}

// Empties the process-wide cache before the fixture's downloader draws its
// key prefix, and after the test.
struct ClearedCache {
  ClearedCache() { DownloadCache::Instance().Clear(); }
  ~ClearedCache() { DownloadCache::Instance().Clear(); }
};

class DownloaderTest : public testing::Test {
 protected:
  ClearedCache clearedCache;

  RecordingDataSource source{CountingFile(200000)};
  Downloader downloader{detail::DataSourceAccess::Pimpl(source)};

  // Submits `entries` in the given order as one group and pumps until done.
  std::vector<std::shared_ptr<ByteTask>> Download(const std::vector<ModelFileEntry>& entries) {
    DownloadGroup* group = downloader.CreateDownloadGroup();
    std::vector<std::shared_ptr<ByteTask>> tasks;
    for (const auto& entry : entries) tasks.push_back(downloader.RequestBytes(entry, group));
    TaskGroupList groups;
    StartTaskGroup(groups, {downloader.SubmitDownloadGroup(group)});
    source.AnswerPending();
    EXPECT_TRUE(test::PumpUntilIdle(groups));
    return tasks;
  }

  void ExpectBytes(const ByteTask& task, const ModelFileEntry& entry) {
    EXPECT_EQ(task.Result(), source.Read(entry.offset, entry.size)) << entry.name;
  }
};

TEST_F(DownloaderTest, KeyPrefixesStayUniqueAcrossCacheClears) {
  Downloader second(detail::DataSourceAccess::Pimpl(source));
  DownloadCache::Instance().Clear();
  Downloader afterClear(detail::DataSourceAccess::Pimpl(source));
  const std::set<std::string> prefixes{downloader.KeyPrefix(), second.KeyPrefix(), afterClear.KeyPrefix()};
  EXPECT_EQ(prefixes.size(), 3u);
  for (const std::string& prefix : prefixes) EXPECT_TRUE(prefix.ends_with(';')) << prefix;
}

TEST_F(DownloaderTest, GapsUpTo32768BytesAreBridged) {
  struct Case {
    uint64_t secondOffset;
    std::vector<std::pair<uint64_t, uint64_t>> requests;  // offset, size
  };
  const Case cases[] = {
      {32868, {{0, 32878}}},             // gap exactly 32,768
      {32869, {{0, 100}, {32869, 10}}},  // one byte more
      {50, {{0, 100}}},                  // overlapping
  };
  for (const Case& c : cases) {
    DownloadCache::Instance().Clear();
    RecordingDataSource fresh(CountingFile(100000));
    Downloader local(detail::DataSourceAccess::Pimpl(fresh));
    DownloadGroup* group = local.CreateDownloadGroup();
    const auto first = Entry(0, 100, "first");
    const auto second = Entry(c.secondOffset, 10, "second");
    auto a = local.RequestBytes(first, group);
    auto b = local.RequestBytes(second, group);
    TaskGroupList groups;
    StartTaskGroup(groups, {local.SubmitDownloadGroup(group)});
    ASSERT_EQ(fresh.Requests().size(), c.requests.size()) << c.secondOffset;
    for (size_t i = 0; i < c.requests.size(); ++i) {
      EXPECT_EQ(fresh.Requests()[i].offset, c.requests[i].first);
      EXPECT_EQ(fresh.Requests()[i].size, c.requests[i].second);
    }
    fresh.AnswerPending();
    ASSERT_TRUE(test::PumpUntilIdle(groups));
    EXPECT_EQ(a->Result(), fresh.Read(0, 100));
    EXPECT_EQ(b->Result(), fresh.Read(c.secondOffset, 10));
  }
}

TEST_F(DownloaderTest, EntriesInDescendingOrderEachGetTheirOwnBytes) {
  std::vector<ModelFileEntry> entries;
  for (int i = 9; i >= 0; --i) {
    entries.push_back(Entry(static_cast<uint64_t>(i) * 15000 + 3, 1000 + i, "e" + std::to_string(i)));
  }
  const auto tasks = Download(entries);
  EXPECT_EQ(source.Requests().size(), 1u);
  for (size_t i = 0; i < entries.size(); ++i) ExpectBytes(*tasks[i], entries[i]);
}

TEST_F(DownloaderTest, DuplicateEntryInOneGroupIsServedTwice) {
  const auto entry = Entry(500, 64, "twice");
  const auto tasks = Download({entry, entry});
  EXPECT_EQ(source.Requests().size(), 1u);
  ExpectBytes(*tasks[0], entry);
  ExpectBytes(*tasks[1], entry);
  EXPECT_EQ(DownloadCache::Instance().CacheMisses(), 2u);
}

TEST_F(DownloaderTest, CachedEntriesNeverReachTheHost) {
  const auto entry = Entry(1000, 300, "mesh");
  Download({entry});
  ASSERT_EQ(source.Requests().size(), 1u);
  EXPECT_EQ(DownloadCache::Instance().CacheMisses(), 1u);

  DownloadGroup* group = downloader.CreateDownloadGroup();
  auto viaGroup = downloader.RequestBytes(entry, group);
  EXPECT_EQ(DownloadCache::Instance().CacheHits(), 1u);
  auto direct = downloader.RequestBytes(entry, nullptr);
  EXPECT_EQ(DownloadCache::Instance().CacheHits(), 1u) << "no counter moves without a group";
  EXPECT_EQ(DownloadCache::Instance().CacheMisses(), 1u);
  TaskGroupList groups;
  StartTaskGroup(groups, {downloader.SubmitDownloadGroup(group), direct});
  UpdateTaskGroups(groups);
  EXPECT_TRUE(groups.empty());
  EXPECT_EQ(source.Requests().size(), 1u);
  ExpectBytes(*viaGroup, entry);
  ExpectBytes(*direct, entry);
}

TEST_F(DownloaderTest, RequestWithoutGroupGoesStraightToTheHostUncached) {
  const auto entry = Entry(40, 8, "loose");
  auto task = downloader.RequestBytes(entry, nullptr);
  ASSERT_EQ(source.Requests().size(), 1u);
  EXPECT_EQ(source.Requests()[0].offset, 40u);
  source.AnswerPending();
  TaskGroupList groups;
  StartTaskGroup(groups, {task});
  UpdateTaskGroups(groups);
  ExpectBytes(*task, entry);
  EXPECT_FALSE(DownloadCache::Instance().Lookup(downloader.KeyPrefix() + "loose"));
}

TEST_F(DownloaderTest, CacheKeysCarryTheModelPrefix) {
  Download({Entry(0, 10, "shared")});
  EXPECT_TRUE(DownloadCache::Instance().Lookup(downloader.KeyPrefix() + "shared"));
  Downloader otherModel(detail::DataSourceAccess::Pimpl(source));
  DownloadGroup* group = otherModel.CreateDownloadGroup();
  otherModel.RequestBytes(Entry(0, 10, "shared"), group);
  EXPECT_EQ(DownloadCache::Instance().CacheHits(), 0u) << "another model's entry is not reused";
}

TEST_F(DownloaderTest, EmptyGroupJoinFinishesOnFirstPass) {
  DownloadGroup* group = downloader.CreateDownloadGroup();
  auto join = downloader.SubmitDownloadGroup(group);
  ASSERT_TRUE(join);
  TaskGroupList groups;
  StartTaskGroup(groups, {join});
  EXPECT_TRUE(StepTaskGroup(*groups[0]));
  EXPECT_TRUE(groups[0]->running.empty());
  EXPECT_TRUE(source.Requests().empty());
}

TEST_F(DownloaderTest, ClosedOrUnknownGroupsAreRejectedWithTheErrorLine) {
  test::ScopedRecordingLogger log;
  DownloadGroup* group = downloader.CreateDownloadGroup();
  ASSERT_TRUE(downloader.SubmitDownloadGroup(group));
  DownloadGroup stranger;
  EXPECT_FALSE(downloader.SubmitDownloadGroup(group));
  EXPECT_FALSE(downloader.RequestBytes(Entry(0, 1, "x"), group));
  EXPECT_FALSE(downloader.SubmitDownloadGroup(nullptr));
  EXPECT_FALSE(downloader.RequestBytes(Entry(0, 1, "x"), &stranger));
  EXPECT_EQ(log.Lines(), std::vector<std::string>(4, "Error: DownloadGroup is not no longer valid"));
}

TEST_F(DownloaderTest, JoinWaitsForEveryBatch) {
  DownloadGroup* group = downloader.CreateDownloadGroup();
  auto near = downloader.RequestBytes(Entry(0, 10, "near"), group);
  auto far = downloader.RequestBytes(Entry(100000, 10, "far"), group);
  auto join = downloader.SubmitDownloadGroup(group);
  TaskGroupList groups;
  StartTaskGroup(groups, {join});
  ASSERT_EQ(source.Requests().size(), 2u);
  source.Answer(source.Requests()[1]);
  UpdateTaskGroups(groups);
  EXPECT_FALSE(join->IsFinished());
  EXPECT_TRUE(far->IsFinished());
  EXPECT_FALSE(near->IsFinished());
  source.Answer(source.Requests()[0]);
  UpdateTaskGroups(groups);
  EXPECT_TRUE(join->IsFinished());
  EXPECT_TRUE(groups.empty());
}

}  // namespace
}  // namespace ovra
