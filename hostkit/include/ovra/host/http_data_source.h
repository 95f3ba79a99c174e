#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ovra/host/queued_data_source.h"

namespace ovra::host {

/// Settings of an `HttpDataSource`, copied by its constructor.
struct HttpOptions {
  /// Range requests in flight at once, at least 1.
  int maxInFlight = 6;
  /// Attempts per range before it is given up, at least 1. Only transient
  /// failures are retried: a lost connection, a timeout, a 5xx status.
  int maxAttempts = 3;
  /// Wait before the first retry; it doubles with each further attempt.
  int retryDelayMs = 100;
  /// Longest wait for a connection to the server.
  int connectTimeoutMs = 5000;
  /// Longest a single range may take.
  int transferTimeoutMs = 60000;
};

/// A `QueuedDataSource` over an HTTP or HTTPS URL, for hosts that stream
/// models from a web server.
///
/// Each range becomes an HTTP range request. One libcurl multi handle, driven
/// by a thread of its own, keeps up to `maxInFlight` of them in flight; the
/// answers are completed on the host thread by `DeliverFinishedReads`.
///
/// Failures are logged with the URL and the range, and read as zeros:
/// - a server that answers a range request with the whole file (200) does not
///   support ranges; the transfer is cut off at once rather than downloading
///   the file for every request;
/// - 404 and other client errors are not retried;
/// - dropped connections, timeouts and server errors are retried up to
///   `maxAttempts` times.
/// A range starting past the end of the file (416) reads as zeros without an
/// error, like a file read past its end.
class HttpDataSource final : public QueuedDataSource {
 public:
  /// Streams the file at `url`; nothing is fetched before the first request.
  explicit HttpDataSource(std::string url, HttpOptions options = {});
  ~HttpDataSource() override;

  /// The total size from the first `Content-Range` answer, or 0 before it.
  uint64_t FileSize() const override;

 private:
  void StartRead(int requestId, uint64_t offset, uint64_t size) override;

  struct Transfers;
  std::unique_ptr<Transfers> transfers_;
};

/// True for URLs that `HttpDataSource` takes: `http://` or `https://`.
bool IsHttpUrl(const std::string& text);

}  // namespace ovra::host
