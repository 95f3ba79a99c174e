#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ovra/host/queued_data_source.h"

namespace ovra::host {

/// A `QueuedDataSource` over a file on disk, for hosts that stream local
/// models.
///
/// Range requests are read with `pread` on a few I/O threads of its own, so
/// `RequestRange` never blocks the host thread. Bytes past the end of the
/// file read as zeros.
///
/// A file cut shorter than it was when opened (a model being rewritten in
/// place) and an I/O error delay a read, they do not lose it: the read is
/// retried with a doubling wait up to 5 s, for up to five minutes, before it
/// is given up with one error and reads as zeros. `Statistics()` counts the
/// retries and outages as for `HttpDataSource`.
class FileDataSource final : public QueuedDataSource {
 public:
  /// Opens `path`; check `IsOpen`. `ioThreads` below 1 means 1.
  explicit FileDataSource(const std::string& path, int ioThreads = 2);
  ~FileDataSource() override;

  /// False when the file could not be opened; requests then read as zeros.
  bool IsOpen() const;
  uint64_t FileSize() const override;

 private:
  void StartRead(int requestId, uint64_t offset, uint64_t size) override;

  struct Reader;
  std::unique_ptr<Reader> reader_;
};

}  // namespace ovra::host
