#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ovra {

using SharedBytes = std::shared_ptr<const std::vector<uint8_t>>;

// Process-wide cache of downloaded container entries, evicted in insertion
// order within a fixed byte budget. Host thread only.
class DownloadCache {
 public:
  static constexpr uint64_t kCapacityMiB = 50;
  static constexpr uint64_t kBudgetBytes = kCapacityMiB << 20;

  static DownloadCache& Instance();

  // The bytes stored under `key`, or null. Does not refresh the entry.
  SharedBytes Lookup(const std::string& key) const;
  // Stores a copy of `bytes` as the newest entry, evicting the oldest ones to
  // stay within budget. A key inserted again keeps its first bytes but becomes
  // the newest. Larger than the whole budget: not stored.
  void Insert(const std::string& key, const std::vector<uint8_t>& bytes);
  // Drops every entry and zeroes the hit and miss counters. The model
  // counter runs on: a model created after a clear must not share its keys
  // with one that still lives.
  void Clear();

  // The next model's serial number, for its cache key prefix; unique for the
  // whole process.
  uint64_t TakeModelSerial() { return modelCounter_++; }
  void CountHit() { ++cacheHits_; }
  void CountMiss() { ++cacheMisses_; }

  uint64_t TotalBytes() const { return totalBytes_; }
  uint64_t CacheHits() const { return cacheHits_; }
  uint64_t CacheMisses() const { return cacheMisses_; }

 private:
  struct Entry {
    std::string key;
    SharedBytes bytes;
  };
  using EntryList = std::list<Entry>;  // newest first

  void Remove(EntryList::iterator entry);

  std::map<std::string, EntryList::iterator, std::less<>> byKey_;
  EntryList entries_;
  uint64_t totalBytes_ = 0;
  uint64_t cacheMisses_ = 0;
  uint64_t cacheHits_ = 0;
  uint64_t modelCounter_ = 0;
};

}  // namespace ovra
