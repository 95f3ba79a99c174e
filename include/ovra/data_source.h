#pragma once

#include <cstdint>
#include <memory>

#include "ovra/export.h"

namespace ovra {

namespace detail {
class DataSourcePimpl;
struct DataSourceAccess;
}  // namespace detail

/// The host's access to one model file. The library never opens files: it
/// asks for byte ranges through `RequestRange`, and the host answers each
/// request with `CompleteRangeRequest`.
///
/// Threading: every call in both directions happens on the host thread, the
/// thread that calls `Model::Init`, `Model::UpdateRunningTasks` and
/// `StreamController::Update`. A host that reads on other threads queues the
/// finished reads and completes them on the host thread, for example just
/// before `Model::UpdateRunningTasks`.
///
/// Ownership: the host owns the data source and must keep it alive while any
/// model initialised with it exists.
class OVRA_API DataSource {
 public:
  DataSource();
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;
  /// Open requests are dropped: whatever waits for them never resumes.
  virtual ~DataSource();

  /// Asks for the `size` bytes at `[offset, offset + size)` of the model
  /// file; `size` is never 0. Ids start at 1112 and are never reused. The
  /// host answers with `CompleteRangeRequest(requestId, ...)`, now (from
  /// inside this call) or on a later frame.
  ///
  /// A range may reach past the end of the file (the first request of a
  /// model always asks for 256 KiB); the host still supplies `size` bytes,
  /// padding beyond the end, for example with zeros.
  virtual void RequestRange(int requestId, uint64_t offset, uint64_t size) = 0;

  /// Delivers the bytes of request `requestId`: `data` must point to the
  /// `size` bytes asked for. They are copied during the call. Unknown or
  /// already completed ids are ignored. A null `data` is logged as an error
  /// and leaves the request open, so it can be answered again.
  void CompleteRangeRequest(int requestId, const unsigned char* data);

 private:
  friend struct detail::DataSourceAccess;
  std::unique_ptr<detail::DataSourcePimpl> pimpl_;
};

}  // namespace ovra
