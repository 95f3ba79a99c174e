#pragma once

#include <string_view>

#include "ovra/export.h"

namespace ovra {

/// Receiver of the library's log messages. Implemented by the host and
/// installed with `Log::SetLogger`.
///
/// Messages are single English sentences without a line break. They arrive
/// from the host thread and from the library's worker threads, so an
/// implementation must accept concurrent calls. The view is valid only during
/// the call and is not zero-terminated.
class OVRA_API ILogger {
 public:
  ILogger() = default;
  /// Loggers may be copied; the library never does.
  ILogger(const ILogger&) = default;
  /// Loggers may be copied; the library never does.
  ILogger& operator=(const ILogger&) = default;
  virtual ~ILogger() = default;

  /// Progress: a model finished initializing, for example.
  virtual void Status(std::string_view message) = 0;
  /// Something was left out or repaired, and streaming goes on.
  virtual void Warning(std::string_view message) = 0;
  /// Something failed: a model that cannot initialize, content that cannot be decoded.
  virtual void Error(std::string_view message) = 0;
};

/// The process-wide logging facade.
///
/// Until the host installs a logger, messages go to a built-in logger that
/// prints "Status: ", "Warning: " or "Error: " and the message as one line on
/// standard output.
class OVRA_API Log {
 public:
  Log() = delete;
  /// Present for compatibility; `Log` has no state of its own.
  Log& operator=(const Log&) = default;
  /// Present for compatibility; `Log` has no state of its own.
  Log& operator=(Log&&) = default;

  /// Passes `message` to the installed logger's `ILogger::Status`. Any thread.
  static void Status(std::string_view message);
  /// Passes `message` to the installed logger's `ILogger::Warning`. Any thread.
  static void Warning(std::string_view message);
  /// Passes `message` to the installed logger's `ILogger::Error`. Any thread.
  static void Error(std::string_view message);

  /// Installs `logger` for the whole process; null silences all logging. The
  /// library never deletes the logger, so it must outlive every later log
  /// call. Install it before streaming starts: worker threads read the slot.
  static void SetLogger(ILogger* logger);
  /// The logger currently installed, or null.
  static ILogger* GetLogger();
  /// The built-in standard-output logger, to restore it or to chain to it.
  static ILogger* GetDefaultLogger();
};

}  // namespace ovra
