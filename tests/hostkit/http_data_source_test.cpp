#include "ovra/host/http_data_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host_streaming.h"
#include "nginx_server.h"
#include "ovra/host/file_data_source.h"

namespace ovra::host {
namespace {

namespace fs = std::filesystem;
using testing::NginxServer;
using testing::RecordingLogger;

// A folder served by nginx holding the sample model and a patterned file.
class HttpDataSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = fs::temp_directory_path() / ("ovra-http-" + std::to_string(::getpid()));
    fs::create_directories(root_);
    ASSERT_TRUE(testing::MakeSampleModel(root_ / "sample.tzm", 2));
    std::vector<char> pattern(kPatternSize);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(root_ / "pattern.bin", std::ios::binary).write(pattern.data(), kPatternSize);
    server_ = new NginxServer(root_);
  }
  static void TearDownTestSuite() {
    delete server_;
    fs::remove_all(root_);
  }
  void SetUp() override {
    if (!server_->IsRunning()) GTEST_SKIP() << "nginx is not installed (scripts/install-deps.sh installs it)";
  }

  // Requests one range and delivers until it is answered or 10 s passed.
  static void RequestAndWait(HttpDataSource& source, uint64_t offset, uint64_t size) {
    source.RequestRange(1112, offset, size);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (source.DeliverFinishedReads() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  static constexpr std::streamsize kPatternSize = 100000;
  static inline fs::path root_;
  static inline NginxServer* server_ = nullptr;
};

TEST_F(HttpDataSourceTest, StreamsTheSameMeshesAsTheFile) {
  RecordingLogger log;
  FileDataSource file((root_ / "sample.tzm").string());
  const auto fromFile = testing::StreamUntilSettled(file);
  HttpDataSource http(server_->Url("/sample.tzm"));
  const auto fromHttp = testing::StreamUntilSettled(http);

  EXPECT_GT(fromFile.size(), 4u) << "the controller refined past the first loads";
  EXPECT_EQ(fromHttp, fromFile);
  EXPECT_EQ(http.FileSize(), file.FileSize());
  EXPECT_EQ(http.Statistics().requests, file.Statistics().requests);
  EXPECT_EQ(http.Statistics().failedRequests, 0u);
  EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST_F(HttpDataSourceTest, KeepsSeveralRangesInFlightAndAnswersEachOnce) {
  HttpOptions options;
  options.maxInFlight = 4;
  HttpDataSource source(server_->Url("/pattern.bin"), options);
  constexpr int kRanges = 64;
  for (int i = 0; i < kRanges; ++i) source.RequestRange(1112 + i, static_cast<uint64_t>(i) * 1531, 4000);
  size_t delivered = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (delivered < kRanges && std::chrono::steady_clock::now() < deadline) {
    delivered += source.DeliverFinishedReads();
  }
  EXPECT_EQ(delivered, static_cast<size_t>(kRanges));
  EXPECT_EQ(source.Statistics().bytesDelivered, kRanges * 4000u);
  EXPECT_EQ(source.FileSize(), static_cast<uint64_t>(kPatternSize));
}

struct FailureCase {
  const char* name;
  const char* path;
  uint64_t offset;
  const char* errorContains;  // null: no error at all
  bool retried;               // transient failures are retried until given up
};

void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.name; }

class HttpFailureTest : public HttpDataSourceTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(HttpFailureTest, AnswersWithZerosAndSaysWhy) {
  const FailureCase& failure = GetParam();
  RecordingLogger log;
  HttpOptions options;
  options.retryDelayMs = 5;
  options.maxRetryDelayMs = 20;
  options.giveUpAfterMs = 200;
  HttpDataSource source(server_->Url(failure.path), options);
  RequestAndWait(source, failure.offset, 5000);

  const TransferStatistics statistics = source.Statistics();
  EXPECT_EQ(statistics.bytesDelivered, 5000u) << "answered, with zeros where nothing could be read";
  EXPECT_EQ(statistics.retries > 2, failure.retried) << statistics.retries;
  EXPECT_EQ(statistics.outages, failure.retried ? 1u : 0u);
  const std::vector<std::string> errors = log.Errors();
  if (failure.errorContains == nullptr) {
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(statistics.failedRequests, 0u);
    return;
  }
  EXPECT_EQ(statistics.failedRequests, 1u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(failure.errorContains), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find(server_->Url(failure.path)), std::string::npos) << "names the URL: " << errors[0];
  EXPECT_EQ(log.Warnings().size(), failure.retried ? 1u : 0u) << "an outage is announced once";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpFailureTest,
    ::testing::Values(FailureCase{"InsideTheFile", "/pattern.bin", 1000, nullptr, false},
                      FailureCase{"PartlyPastTheEnd", "/pattern.bin", 98000, nullptr, false},
                      FailureCase{"WhollyPastTheEnd", "/pattern.bin", 200000, "HTTP status 416", false},
                      FailureCase{"NotFound", "/missing.tzm", 0, "HTTP status 404", false},
                      FailureCase{"ServerIgnoresRange", "/norange/pattern.bin", 1000,
                                  "does not support HTTP range requests", false},
                      FailureCase{"ConnectionDropped", "/drop/pattern.bin", 0, "attempts over", true},
                      FailureCase{"ServerBusy", "/busy/pattern.bin", 0, "HTTP status 503", true}),
    [](const ::testing::TestParamInfo<FailureCase>& test) { return std::string(test.param.name); });

// The server goes away while a model initialises and streams, and comes
// back: the model ends up showing exactly what it shows without the outage.
TEST_F(HttpDataSourceTest, AnOutageDelaysButLosesNothing) {
  RecordingLogger log;
  FileDataSource file((root_ / "sample.tzm").string());
  const auto fromFile = testing::StreamUntilSettled(file);
  HttpOptions options;
  options.retryDelayMs = 20;
  options.maxRetryDelayMs = 200;
  HttpDataSource http(server_->Url("/sample.tzm"), options);
  const auto outage = std::chrono::milliseconds(1500);
  std::chrono::steady_clock::time_point stopped{};
  const auto fromHttp = testing::StreamUntilSettled(http, [&](const QueuedDataSource& source) {
    if (stopped == std::chrono::steady_clock::time_point{} && source.Statistics().bytesDelivered > 0) {
      server_->Stop();
      stopped = std::chrono::steady_clock::now();
    } else if (stopped != std::chrono::steady_clock::time_point{} &&
               std::chrono::steady_clock::now() - stopped > outage) {
      server_->Start();
    }
  });
  server_->Start();

  EXPECT_EQ(fromHttp, fromFile);
  const TransferStatistics statistics = http.Statistics();
  EXPECT_EQ(statistics.failedRequests, 0u);
  EXPECT_GE(statistics.outages, 1u);
  EXPECT_GE(statistics.longestOutageMs, 1000u);
  EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST(HttpDataSourceNoServerTest, RefusedConnectionIsRetriedThenGivenUp) {
  RecordingLogger log;
  HttpOptions options;
  options.maxAttempts = 2;
  options.retryDelayMs = 1;
  // Port 9 (discard) is closed on loopback here.
  HttpDataSource source("http://127.0.0.1:9/model.tzm", options);
  source.RequestRange(1112, 0, 10);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (source.DeliverFinishedReads() == 0 && std::chrono::steady_clock::now() < deadline) {
  }
  EXPECT_EQ(source.Statistics().failedRequests, 1u);
  EXPECT_EQ(source.Statistics().retries, 1u);
  ASSERT_EQ(log.Errors().size(), 1u);
  EXPECT_NE(log.Errors()[0].find("in 2 attempts over"), std::string::npos) << log.Errors()[0];
}

TEST(HttpDataSourceNoServerTest, DestroyedWithRangesInFlightStopsAtOnce) {
  auto source = std::make_unique<HttpDataSource>("http://127.0.0.1:9/model.tzm");
  for (int i = 0; i < 50; ++i) source->RequestRange(1112 + i, 0, 100);
  source.reset();
  SUCCEED();
}

TEST(IsHttpUrlTest, TellsUrlsFromPaths) {
  EXPECT_TRUE(IsHttpUrl("http://host/a.tzm"));
  EXPECT_TRUE(IsHttpUrl("HTTPS://host/a.tzm"));
  EXPECT_FALSE(IsHttpUrl("/data/http://a.tzm"));
  EXPECT_FALSE(IsHttpUrl("http:/a.tzm"));
}

}  // namespace
}  // namespace ovra::host
