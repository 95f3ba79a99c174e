#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ovra/logging.h"

namespace ovra::test {

// Collects log lines as "Status: ...", "Warning: ...", "Error: ...".
class RecordingLogger final : public ILogger {
 public:
  void Status(std::string_view message) override { Record("Status: ", message); }
  void Warning(std::string_view message) override { Record("Warning: ", message); }
  void Error(std::string_view message) override { Record("Error: ", message); }

  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  void Record(std::string_view prefix, std::string_view message) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::string(prefix) + std::string(message));
  }

  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Installs a RecordingLogger for the scope and restores the previous logger.
class ScopedRecordingLogger {
 public:
  ScopedRecordingLogger() : previous_(Log::GetLogger()) { Log::SetLogger(&logger_); }
  ~ScopedRecordingLogger() { Log::SetLogger(previous_); }
  ScopedRecordingLogger(const ScopedRecordingLogger&) = delete;
  ScopedRecordingLogger& operator=(const ScopedRecordingLogger&) = delete;

  std::vector<std::string> Lines() const { return logger_.Lines(); }

 private:
  RecordingLogger logger_;
  ILogger* previous_;
};

}  // namespace ovra::test
