#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "host/range_request.h"
#include "ovra/data_source.h"

namespace ovra::detail {

// The request table behind a DataSource. Host thread only, unlocked.
class DataSourcePimpl {
 public:
  explicit DataSourcePimpl(DataSource& owner) : owner_(&owner) {}

  // A byte task that finishes with exactly the requested bytes once the host
  // answers. A zero-length range finishes at once without asking the host.
  std::shared_ptr<ByteTask> IssueRangeRequest(uint64_t offset, uint64_t size);

  void CompleteRangeRequest(int requestId, const unsigned char* data);

  size_t OpenRequestCount() const { return pendingRequests_.size(); }

 private:
  DataSource* owner_;
  std::unordered_map<int, RangeRequest> pendingRequests_;
  // Incremented before use: the first id a host sees is 1112.
  int lastRequestId_ = 1111;
};

// How the library reaches the private part of a host's DataSource.
struct DataSourceAccess {
  static DataSourcePimpl& Pimpl(DataSource& source) { return *source.pimpl_; }
};

}  // namespace ovra::detail
