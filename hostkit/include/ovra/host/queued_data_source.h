#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ovra/data_source.h"

namespace ovra::host {

/// What a data source has been asked for and has answered so far.
struct TransferStatistics {
  /// `RequestRange` calls.
  uint64_t requests = 0;
  /// Bytes those calls asked for.
  uint64_t bytesRequested = 0;
  /// Bytes handed to the library by `DeliverFinishedReads`, zero padding included.
  uint64_t bytesDelivered = 0;
  /// Requests answered with zeros because they could not be read.
  uint64_t failedRequests = 0;
  /// Attempts repeated after a transient failure.
  uint64_t retries = 0;
  /// Outages: times the source went from answering to failing transiently.
  uint64_t outages = 0;
  /// The longest outage that has ended, from its first failure to the next
  /// answer, in milliseconds.
  uint64_t longestOutageMs = 0;
};

/// A `DataSource` whose reads finish on threads of its own and are completed
/// on the host thread, as the library requires.
///
/// Finished reads wait in a queue until the host calls `DeliverFinishedReads`
/// once per frame, before `Model::UpdateRunningTasks`. A read that fails for
/// good is logged through `Log::Error` on the host thread and answered with
/// zeros, so that the model shows nothing there instead of waiting forever.
///
/// Threading: construct, call every member and destroy on the host thread.
/// Ownership: the host owns it and keeps it alive while a model uses it;
/// destroying it drops the reads not yet delivered.
class QueuedDataSource : public DataSource {
 public:
  ~QueuedDataSource() override;

  void RequestRange(int requestId, uint64_t offset, uint64_t size) final;

  /// Completes every read finished since the last call, oldest first, after
  /// logging the failures among them. Returns how many it completed.
  size_t DeliverFinishedReads();

  /// The counts so far.
  TransferStatistics Statistics() const;

  /// Size of the model file, or 0 while it is not known yet.
  virtual uint64_t FileSize() const = 0;

 protected:
  QueuedDataSource();

  /// Starts reading a range; called by `RequestRange` after counting it.
  virtual void StartRead(int requestId, uint64_t offset, uint64_t size) = 0;

  // The rest may be called from any thread.

  /// Queues `bytes` for request `requestId`; they are padded with zeros or cut
  /// to the size asked for on delivery.
  void Finish(int requestId, std::vector<unsigned char> bytes);
  /// Queues zeros for request `requestId` and `message` for the error log.
  void Fail(int requestId, std::string message);
  /// Counts one repeated attempt in `TransferStatistics::retries`.
  void CountRetry();
  /// Counts an outage that began; `OutageEnded` reports its length.
  void CountOutage();
  /// Notes the length of an outage that ended, for `longestOutageMs`.
  void OutageEnded(uint64_t milliseconds);

 private:
  struct Queue;
  std::unique_ptr<Queue> queue_;
};

/// Opens `pathOrUrl` with the data source it names: an `http://` or
/// `https://` URL with `HttpDataSource`, anything else as a file with
/// `FileDataSource`. Returns null, with the reason in `error`, when a file
/// cannot be opened.
std::unique_ptr<QueuedDataSource> OpenDataSource(const std::string& pathOrUrl, std::string* error = nullptr);

}  // namespace ovra::host
