#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/container.h"
#include "host/range_request.h"

namespace ovra {

namespace detail {
class DataSourcePimpl;
}

// Entry requests gathered to be issued together.
struct DownloadGroup {
  std::vector<RangeRequest> entries;  // in request order
};

// Largest gap between two entries that is downloaded and thrown away rather
// than split into two host requests.
inline constexpr uint64_t kMaxBatchGap = 32768;

// One model's content downloads: gathers entry requests in groups, merges
// neighbouring entries into few host requests, splits the bytes back per
// entry and caches them process-wide. Host thread only.
class Downloader {
 public:
  // Draws this model's cache key prefix from the process-wide cache: the
  // model's serial and ';'. A cache key is the prefix and the entry name.
  explicit Downloader(detail::DataSourcePimpl& dataSource);

  DownloadGroup* CreateDownloadGroup();

  // A byte task finishing with the entry's stored bytes. Without a group the
  // bytes come from the cache or a direct host request; with a group, from
  // the cache or the group's batches. Null when `group` is not open.
  std::shared_ptr<ByteTask> RequestBytes(const ModelFileEntry& entry, DownloadGroup* group);

  // Issues the group's batches and closes the group. Returns the task that
  // finishes once every entry has its bytes, or null when `group` is not open.
  std::shared_ptr<Task<int>> SubmitDownloadGroup(DownloadGroup* group);

  const std::string& KeyPrefix() const { return keyPrefix_; }

 private:
  bool IsOpen(DownloadGroup* group) const;

  detail::DataSourcePimpl* dataSource_;
  std::unordered_map<DownloadGroup*, std::unique_ptr<DownloadGroup>> openGroups_;
  std::string keyPrefix_;
};

}  // namespace ovra
