#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

#include "host/data_source_pimpl.h"
#include "support/pump.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"

namespace ovra {
namespace {

using test::RecordingDataSource;
using Bytes = std::vector<uint8_t>;

Bytes CountingFile(size_t size) {
  Bytes file(size);
  std::iota(file.begin(), file.end(), uint8_t{0});
  return file;
}

detail::DataSourcePimpl& Pimpl(DataSource& source) { return detail::DataSourceAccess::Pimpl(source); }

// Starts the byte task the way a pump would and reports whether it finished.
bool Finished(ByteTask& task) {
  task.MarkStarted();
  return task.IsFinished();
}

TEST(DataSource, RequestIdsStartAt1112AndCountUp) {
  RecordingDataSource source(CountingFile(64));
  for (uint64_t i = 0; i < 3; ++i) Pimpl(source).IssueRangeRequest(i * 10, 5);
  ASSERT_EQ(source.Requests().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(source.Requests()[i].id, 1112 + i);
    EXPECT_EQ(source.Requests()[i].offset, static_cast<uint64_t>(i) * 10);
    EXPECT_EQ(source.Requests()[i].size, 5u);
  }
}

TEST(DataSource, EachSourceNumbersItsOwnRequests) {
  RecordingDataSource first(CountingFile(8));
  RecordingDataSource second(CountingFile(8));
  Pimpl(first).IssueRangeRequest(0, 1);
  Pimpl(second).IssueRangeRequest(0, 1);
  EXPECT_EQ(first.Requests()[0].id, 1112);
  EXPECT_EQ(second.Requests()[0].id, 1112);
}

TEST(DataSource, CompletionFromInsideRequestRangeDeliversBeforeIssueReturns) {
  RecordingDataSource source(CountingFile(100), RecordingDataSource::Mode::AnswerImmediately);
  auto task = Pimpl(source).IssueRangeRequest(10, 4);
  EXPECT_TRUE(Finished(*task));
  EXPECT_EQ(task->Result(), (Bytes{10, 11, 12, 13}));
  EXPECT_EQ(Pimpl(source).OpenRequestCount(), 0u);
}

TEST(DataSource, LaterCompletionDeliversExactlyTheRequestedBytes) {
  RecordingDataSource source(CountingFile(300));
  auto task = Pimpl(source).IssueRangeRequest(250, 60);  // reaches past the end
  EXPECT_FALSE(Finished(*task));
  source.Answer(source.Requests()[0]);
  ASSERT_TRUE(task->IsFinished());
  ASSERT_EQ(task->Result().size(), 60u);
  EXPECT_EQ(task->Result()[0], 250);
  EXPECT_EQ(task->Result()[49], 43);  // 299 % 256
  EXPECT_EQ(task->Result()[50], 0) << "the host pads past the end";
}

TEST(DataSource, UnknownAndRepeatedIdsAreIgnored) {
  test::ScopedRecordingLogger log;
  RecordingDataSource source(CountingFile(16));
  auto task = Pimpl(source).IssueRangeRequest(0, 4);
  const Bytes first = {1, 1, 1, 1};
  const Bytes second = {2, 2, 2, 2};
  source.CompleteRangeRequest(999, first.data());
  source.CompleteRangeRequest(1111, first.data());
  EXPECT_FALSE(Finished(*task));
  source.CompleteRangeRequest(1112, first.data());
  source.CompleteRangeRequest(1112, second.data());
  EXPECT_TRUE(task->IsFinished());
  EXPECT_EQ(task->Result(), first);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(DataSource, HostBufferMayBeReusedRightAfterCompletion) {
  RecordingDataSource source(CountingFile(16));
  auto task = Pimpl(source).IssueRangeRequest(0, 3);
  Bytes buffer = {7, 8, 9};
  source.CompleteRangeRequest(1112, buffer.data());
  std::memset(buffer.data(), 0, buffer.size());
  buffer = Bytes();
  EXPECT_EQ(task->Result(), (Bytes{7, 8, 9}));
}

TEST(DataSource, ZeroLengthRequestNeverReachesTheHost) {
  RecordingDataSource source(CountingFile(16));
  auto empty = Pimpl(source).IssueRangeRequest(5, 0);
  EXPECT_TRUE(source.Requests().empty());
  EXPECT_TRUE(Finished(*empty));
  EXPECT_TRUE(empty->Result().empty());
  Pimpl(source).IssueRangeRequest(5, 1);
  EXPECT_EQ(source.Requests()[0].id, 1112) << "no id was consumed";
}

TEST(DataSource, NullDataIsLoggedAndLeavesTheRequestOpen) {
  test::ScopedRecordingLogger log;
  RecordingDataSource source(CountingFile(16));
  auto task = Pimpl(source).IssueRangeRequest(2, 2);
  source.CompleteRangeRequest(1112, nullptr);
  EXPECT_FALSE(Finished(*task));
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].rfind("Error: ", 0), 0u);

  source.Answer(source.Requests()[0]);
  EXPECT_TRUE(task->IsFinished());
  EXPECT_EQ(task->Result(), (Bytes{2, 3}));
}

TEST(DataSource, DestroyingWithOpenRequestsReleasesThemAndTasksStayUnfinished) {
  std::shared_ptr<ByteTask> task;
  {
    RecordingDataSource source(CountingFile(16));
    task = Pimpl(source).IssueRangeRequest(0, 8);
    EXPECT_EQ(task.use_count(), 2);
  }
  EXPECT_EQ(task.use_count(), 1);
  EXPECT_FALSE(Finished(*task));
}

TEST(DataSource, PumpPicksUpCompletedRequests) {
  RecordingDataSource source(CountingFile(32));
  auto bytes = Pimpl(source).IssueRangeRequest(4, 4);
  int sum = 0;
  auto consume = ContinueWith<Bytes>(bytes, [&](const Bytes& b) {
    for (uint8_t v : b) sum += v;
    return 0;
  });
  TaskGroupList groups;
  StartTaskGroup(groups, {consume});
  UpdateTaskGroups(groups);
  EXPECT_EQ(sum, 0);
  source.Answer(source.Requests()[0]);
  UpdateTaskGroups(groups);
  EXPECT_EQ(sum, 4 + 5 + 6 + 7);
  EXPECT_TRUE(groups.empty());
}

}  // namespace
}  // namespace ovra
