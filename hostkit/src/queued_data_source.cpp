#include "ovra/host/queued_data_source.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "ovra/host/file_data_source.h"
#include "ovra/host/http_data_source.h"
#include "ovra/logging.h"

namespace ovra::host {

namespace {

struct FinishedRead {
  int id = 0;
  std::vector<unsigned char> bytes;
  std::string failure;  // empty when the read succeeded
};

}  // namespace

struct QueuedDataSource::Queue {
  // Touched by the I/O threads.
  std::mutex mutex;
  std::deque<FinishedRead> finished;
  uint64_t retries = 0;
  uint64_t outages = 0;
  uint64_t longestOutageMs = 0;

  // Host thread only.
  std::unordered_map<int, uint64_t> openSizes;
  TransferStatistics statistics;
};

QueuedDataSource::QueuedDataSource() : queue_(std::make_unique<Queue>()) {}

QueuedDataSource::~QueuedDataSource() = default;

void QueuedDataSource::RequestRange(int requestId, uint64_t offset, uint64_t size) {
  queue_->openSizes[requestId] = size;
  ++queue_->statistics.requests;
  queue_->statistics.bytesRequested += size;
  StartRead(requestId, offset, size);
}

size_t QueuedDataSource::DeliverFinishedReads() {
  std::deque<FinishedRead> finished;
  {
    std::lock_guard lock(queue_->mutex);
    finished.swap(queue_->finished);
    queue_->statistics.retries = queue_->retries;
    queue_->statistics.outages = queue_->outages;
    queue_->statistics.longestOutageMs = queue_->longestOutageMs;
  }
  size_t delivered = 0;
  for (FinishedRead& read : finished) {
    const auto open = queue_->openSizes.find(read.id);
    if (open == queue_->openSizes.end()) continue;
    if (!read.failure.empty()) {
      Log::Error(read.failure);
      ++queue_->statistics.failedRequests;
      read.bytes.clear();
    }
    // The library copies exactly the size it asked for.
    read.bytes.resize(open->second, 0);
    queue_->openSizes.erase(open);
    queue_->statistics.bytesDelivered += read.bytes.size();
    CompleteRangeRequest(read.id, read.bytes.data());
    ++delivered;
  }
  return delivered;
}

TransferStatistics QueuedDataSource::Statistics() const { return queue_->statistics; }

void QueuedDataSource::Finish(int requestId, std::vector<unsigned char> bytes) {
  std::lock_guard lock(queue_->mutex);
  queue_->finished.push_back({requestId, std::move(bytes), {}});
}

void QueuedDataSource::Fail(int requestId, std::string message) {
  std::lock_guard lock(queue_->mutex);
  queue_->finished.push_back({requestId, {}, std::move(message)});
}

void QueuedDataSource::CountRetry() {
  std::lock_guard lock(queue_->mutex);
  ++queue_->retries;
}

void QueuedDataSource::CountOutage() {
  std::lock_guard lock(queue_->mutex);
  ++queue_->outages;
}

void QueuedDataSource::OutageEnded(uint64_t milliseconds) {
  std::lock_guard lock(queue_->mutex);
  queue_->longestOutageMs = std::max(queue_->longestOutageMs, milliseconds);
}

std::unique_ptr<QueuedDataSource> OpenDataSource(const std::string& pathOrUrl, std::string* error) {
  if (IsHttpUrl(pathOrUrl)) return std::make_unique<HttpDataSource>(pathOrUrl);
  auto file = std::make_unique<FileDataSource>(pathOrUrl);
  if (file->IsOpen()) return file;
  if (error != nullptr) *error = "cannot open " + pathOrUrl;
  return nullptr;
}

}  // namespace ovra::host
