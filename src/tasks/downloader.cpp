#include "tasks/downloader.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "host/data_source_pimpl.h"
#include "ovra/logging.h"
#include "tasks/download_cache.h"

namespace ovra {

namespace {

constexpr const char* kInvalidGroupMessage = "DownloadGroup is not no longer valid";

// Consecutive sorted entries whose gaps stay within kMaxBatchGap.
struct DownloadBatch {
  std::vector<RangeRequest> entries;
  uint64_t start = 0;
  uint64_t end = 0;
};

std::vector<DownloadBatch> CutIntoBatches(std::vector<RangeRequest> sorted) {
  std::vector<DownloadBatch> batches;
  uint64_t previousEnd = 0;
  for (RangeRequest& entry : sorted) {
    const uint64_t entryEnd = entry.offset + entry.size;
    if (batches.empty() || (entry.offset > previousEnd && entry.offset - previousEnd > kMaxBatchGap)) {
      batches.push_back(DownloadBatch{{}, entry.offset, entryEnd});
    }
    DownloadBatch& batch = batches.back();
    batch.end = std::max(batch.end, entryEnd);
    batch.entries.push_back(std::move(entry));
    previousEnd = entryEnd;
  }
  return batches;
}

// What the distribution body keeps of an entry. The entry task depends on
// the distribution task, so holding it strongly would make a cycle.
struct BatchEntry {
  uint64_t offset;
  uint64_t size;
  std::string cacheKey;
  std::weak_ptr<ByteTask> task;
};

// Runs inline once the batch's bytes have arrived: hands every entry its own
// bytes and caches them.
std::shared_ptr<Task<int>> MakeDistributionTask(const DownloadBatch& batch, const std::string& keyPrefix) {
  std::vector<BatchEntry> entries;
  entries.reserve(batch.entries.size());
  for (const RangeRequest& entry : batch.entries) {
    entries.push_back({entry.offset - batch.start, entry.size, keyPrefix + entry.name, entry.task});
  }
  return MakeTask<int>(
      [entries = std::move(entries), length = batch.end - batch.start](const ConstTaskList& deps) {
        const std::vector<uint8_t>& bytes = FirstDependencyResult<std::vector<uint8_t>>(deps);
        if (bytes.size() < length) throw std::runtime_error("batch bytes are shorter than the batch");
        for (const BatchEntry& entry : entries) {
          const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(entry.offset);
          std::vector<uint8_t> own(first, first + static_cast<std::ptrdiff_t>(entry.size));
          DownloadCache::Instance().Insert(entry.cacheKey, own);
          if (auto task = entry.task.lock()) task->SetResult(std::move(own));
        }
        return 0;
      },
      ExecutionMode::Inline);
}

}  // namespace

Downloader::Downloader(detail::DataSourcePimpl& dataSource)
    : dataSource_(&dataSource),
      // Entry names never hold ';', so the separator keeps serial 1 with
      // entry "2x" apart from serial 12 with entry "x".
      keyPrefix_(std::to_string(DownloadCache::Instance().TakeModelSerial()) + ';') {}

DownloadGroup* Downloader::CreateDownloadGroup() {
  auto group = std::make_unique<DownloadGroup>();
  DownloadGroup* handle = group.get();
  openGroups_.emplace(handle, std::move(group));
  return handle;
}

bool Downloader::IsOpen(DownloadGroup* group) const { return group != nullptr && openGroups_.contains(group); }

std::shared_ptr<ByteTask> Downloader::RequestBytes(const ModelFileEntry& entry, DownloadGroup* group) {
  DownloadCache& cache = DownloadCache::Instance();
  const SharedBytes cached = cache.Lookup(keyPrefix_ + entry.name);
  if (group == nullptr) {
    if (!cached) return dataSource_->IssueRangeRequest(entry.offset, entry.size);
    auto task = std::make_shared<ByteTask>();
    task->SetResult(*cached);
    return task;
  }
  if (!IsOpen(group)) {
    Log::Error(kInvalidGroupMessage);
    return nullptr;
  }
  auto task = std::make_shared<ByteTask>();
  if (cached) {
    task->SetResult(*cached);
    cache.CountHit();
  } else {
    group->entries.push_back(RangeRequest{entry.offset, entry.size, entry.name, task});
    cache.CountMiss();
  }
  return task;
}

std::shared_ptr<Task<int>> Downloader::SubmitDownloadGroup(DownloadGroup* group) {
  if (!IsOpen(group)) {
    Log::Error(kInvalidGroupMessage);
    return nullptr;
  }
  auto join = std::make_shared<Task<int>>();
  join->SetResult(0);
  std::vector<RangeRequest> entries = std::move(group->entries);
  openGroups_.erase(group);
  std::sort(entries.begin(), entries.end(),
            [](const RangeRequest& a, const RangeRequest& b) { return a.offset < b.offset; });
  for (const DownloadBatch& batch : CutIntoBatches(std::move(entries))) {
    auto distribution = MakeDistributionTask(batch, keyPrefix_);
    distribution->AddDependency(dataSource_->IssueRangeRequest(batch.start, batch.end - batch.start));
    for (const RangeRequest& entry : batch.entries) {
      entry.task->AddDependency(distribution);
      join->AddDependency(entry.task);
    }
  }
  return join;
}

}  // namespace ovra
