#include <atomic>
#include <iostream>
#include <string>

#include "ovra/logging.h"

namespace ovra {

namespace {

class DefaultLogger final : public ILogger {
 public:
  void Status(std::string_view message) override { Print("Status: ", message); }
  void Warning(std::string_view message) override { Print("Warning: ", message); }
  void Error(std::string_view message) override { Print("Error: ", message); }

 private:
  // One write per line keeps lines from different threads apart.
  static void Print(std::string_view prefix, std::string_view message) {
    std::string line;
    line.reserve(prefix.size() + message.size() + 1);
    line.append(prefix).append(message).push_back('\n');
    std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cout.flush();
  }
};

ILogger& DefaultLoggerInstance() {
  // Never destroyed: worker threads may still log during process exit.
  static ILogger* const instance = new DefaultLogger;
  return *instance;
}

// Read from worker threads while the host may replace it.
std::atomic<ILogger*>& LoggerSlot() {
  static std::atomic<ILogger*> slot{&DefaultLoggerInstance()};
  return slot;
}

void Forward(void (ILogger::*severity)(std::string_view), std::string_view message) {
  if (ILogger* logger = LoggerSlot().load(std::memory_order_acquire)) (logger->*severity)(message);
}

}  // namespace

void Log::Status(std::string_view message) { Forward(&ILogger::Status, message); }

void Log::Warning(std::string_view message) { Forward(&ILogger::Warning, message); }

void Log::Error(std::string_view message) { Forward(&ILogger::Error, message); }

void Log::SetLogger(ILogger* logger) { LoggerSlot().store(logger, std::memory_order_release); }

ILogger* Log::GetLogger() { return LoggerSlot().load(std::memory_order_acquire); }

ILogger* Log::GetDefaultLogger() { return &DefaultLoggerInstance(); }

}  // namespace ovra
