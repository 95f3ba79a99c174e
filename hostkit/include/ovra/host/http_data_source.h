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
  /// Attempts per range before it is given up; 0 for no limit but
  /// `giveUpAfterMs`. Only transient failures are retried: a refused or lost
  /// connection, a timeout, a body cut short, a 5xx, 408 or 429 status.
  int maxAttempts = 0;
  /// Wait before the first retry. It doubles with each further attempt up
  /// to `maxRetryDelayMs`, and each wait is shortened by a random part of
  /// up to half, so that many ranges do not retry in step.
  int retryDelayMs = 100;
  /// Longest wait between two attempts.
  int maxRetryDelayMs = 5000;
  /// A range still failing this long after its first failure is given up
  /// (and reads as zeros, with an error); 0 retries for as long as the data
  /// source lives.
  int giveUpAfterMs = 300000;
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
/// An outage delays, it does not lose: transient failures (refused or reset
/// connections, timeouts, bodies cut short, 5xx, 408 and 429 answers) are
/// retried with a capped, jittered exponential backoff while the range stays
/// open, so nothing is decoded from invented bytes. Only after
/// `giveUpAfterMs` (or `maxAttempts`) is a range given up. The first failure
/// of an outage is logged as a warning, its end as a status line.
///
/// Permanent answers give up at once, with an error naming the URL and the
/// status, and the range reads as zeros: a 4xx client error; a server that
/// answers a range request with the whole file (200), cut off at once rather
/// than downloading the file for every request; a 416 for a range wholly
/// past the end of the file.
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
