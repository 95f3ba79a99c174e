#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ovra/data_source.h"

namespace ovra::host {

/// A `DataSource` over a file on disk, for hosts that stream local models.
///
/// Range requests are read with `pread` on a few I/O threads of its own, so
/// `RequestRange` never blocks the host thread. The finished reads wait in a
/// queue until the host calls `DeliverFinishedReads`, on the host thread,
/// once per frame before `Model::UpdateRunningTasks`; that call completes
/// them. Bytes past the end of the file read as zeros. A read that fails is
/// logged through `Log::Error` and answered with zeros, so that the model
/// shows nothing there instead of waiting forever.
///
/// Threading: construct, call `DeliverFinishedReads` and destroy on the host
/// thread. Ownership: the host owns it and keeps it alive while a model uses
/// it; destroying it drops the reads not yet delivered.
class FileDataSource final : public DataSource {
 public:
  /// Opens `path`; check `IsOpen`. `ioThreads` below 1 means 1.
  explicit FileDataSource(const std::string& path, int ioThreads = 2);
  ~FileDataSource() override;

  bool IsOpen() const;
  uint64_t FileSize() const;

  void RequestRange(int requestId, uint64_t offset, uint64_t size) override;

  /// Completes every read finished since the last call, oldest first.
  /// Returns how many it completed.
  size_t DeliverFinishedReads();

 private:
  struct Reader;
  std::unique_ptr<Reader> reader_;
};

}  // namespace ovra::host
