#include <cstring>
#include <utility>

#include "host/data_source_pimpl.h"
#include "ovra/logging.h"

namespace ovra {

DataSource::DataSource() : pimpl_(std::make_unique<detail::DataSourcePimpl>(*this)) {}

DataSource::~DataSource() = default;

void DataSource::CompleteRangeRequest(int requestId, const unsigned char* data) {
  pimpl_->CompleteRangeRequest(requestId, data);
}

namespace detail {

std::shared_ptr<ByteTask> DataSourcePimpl::IssueRangeRequest(uint64_t offset, uint64_t size) {
  auto task = std::make_shared<ByteTask>();
  if (size == 0) {
    task->SetResult({});
    return task;
  }
  const int id = ++lastRequestId_;
  // Recorded before the host is called, which may answer from inside.
  pendingRequests_.emplace(id, RangeRequest{offset, size, {}, task});
  owner_->RequestRange(id, offset, size);
  return task;
}

void DataSourcePimpl::CompleteRangeRequest(int requestId, const unsigned char* data) {
  const auto it = pendingRequests_.find(requestId);
  if (it == pendingRequests_.end()) return;
  if (data == nullptr) {
    Log::Error("CompleteRangeRequest was given no data; the request stays open.");
    return;
  }
  RangeRequest request = std::move(it->second);
  pendingRequests_.erase(it);
  std::vector<uint8_t> bytes(request.size);
  std::memcpy(bytes.data(), data, request.size);
  request.task->SetResult(std::move(bytes));
}

}  // namespace detail
}  // namespace ovra
