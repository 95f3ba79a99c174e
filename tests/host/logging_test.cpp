#include "ovra/logging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/recording_logger.h"

namespace ovra {
namespace {

// Restores the built-in logger whatever a test did.
class LoggingTest : public testing::Test {
 protected:
  void TearDown() override { Log::SetLogger(Log::GetDefaultLogger()); }
};

std::string CaptureStdout(void (*log)(std::string_view), std::string_view message) {
  testing::internal::CaptureStdout();
  log(message);
  return testing::internal::GetCapturedStdout();
}

TEST_F(LoggingTest, DefaultLoggerPrintsOneLinePerMessageOnStandardOutput) {
  struct Case {
    void (*log)(std::string_view);
    const char* expected;
  };
  for (const Case& c :
       {Case{&Log::Status, "Status: x\n"}, Case{&Log::Warning, "Warning: x\n"}, Case{&Log::Error, "Error: x\n"}}) {
    EXPECT_EQ(CaptureStdout(c.log, "x"), c.expected);
  }
}

TEST_F(LoggingTest, DefaultLoggerIsInstalledUntilTheHostChangesIt) {
  EXPECT_NE(Log::GetDefaultLogger(), nullptr);
  EXPECT_EQ(Log::GetLogger(), Log::GetDefaultLogger());
}

TEST_F(LoggingTest, MessageWithoutTerminatorPrintsExactlyItsCharacters) {
  const char buffer[] = "abcdefgh";
  EXPECT_EQ(CaptureStdout(&Log::Status, std::string_view(buffer + 2, 3)), "Status: cde\n");
  EXPECT_EQ(CaptureStdout(&Log::Warning, std::string_view()), "Warning: \n");
}

TEST_F(LoggingTest, NullLoggerSilencesAndDefaultRestores) {
  Log::SetLogger(nullptr);
  EXPECT_EQ(Log::GetLogger(), nullptr);
  EXPECT_EQ(CaptureStdout(&Log::Error, "hidden"), "");
  Log::SetLogger(Log::GetDefaultLogger());
  EXPECT_EQ(CaptureStdout(&Log::Error, "shown"), "Error: shown\n");
}

TEST_F(LoggingTest, InstalledLoggerReceivesEverySeverity) {
  test::RecordingLogger logger;
  Log::SetLogger(&logger);
  EXPECT_EQ(Log::GetLogger(), &logger);
  Log::Status("a");
  Log::Warning("b");
  Log::Error("c");
  EXPECT_EQ(logger.Lines(), (std::vector<std::string>{"Status: a", "Warning: b", "Error: c"}));
}

TEST_F(LoggingTest, WorkersMayLogWhileTheHostSwapsLoggers) {
  test::RecordingLogger first;
  test::RecordingLogger second;
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int i = 0; i < 3; ++i) {
    workers.emplace_back([&] {
      while (!stop) Log::Warning("from a worker");
    });
  }
  // Swap until both loggers have been reached, within a generous deadline.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int i = 0; (first.Lines().empty() || second.Lines().empty()) && std::chrono::steady_clock::now() < end; ++i) {
    Log::SetLogger(i % 2 ? &first : &second);
    std::this_thread::yield();
  }
  Log::SetLogger(nullptr);
  stop = true;
  for (auto& worker : workers) worker.join();
  EXPECT_FALSE(first.Lines().empty());
  EXPECT_FALSE(second.Lines().empty());
}

}  // namespace
}  // namespace ovra
