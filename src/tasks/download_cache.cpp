#include "tasks/download_cache.h"

namespace ovra {

DownloadCache& DownloadCache::Instance() {
  static DownloadCache cache;
  return cache;
}

SharedBytes DownloadCache::Lookup(const std::string& key) const {
  const auto it = byKey_.find(key);
  return it == byKey_.end() ? nullptr : it->second->bytes;
}

void DownloadCache::Remove(EntryList::iterator entry) {
  totalBytes_ -= entry->bytes->size();
  byKey_.erase(entry->key);
  entries_.erase(entry);
}

void DownloadCache::Insert(const std::string& key, const std::vector<uint8_t>& bytes) {
  SharedBytes kept;
  if (const auto it = byKey_.find(key); it != byKey_.end()) {
    kept = it->second->bytes;
    Remove(it->second);
  }
  // Budgeted by what is actually stored, so the budget holds even when a
  // re-inserted key brings bytes of another size.
  const uint64_t storedSize = kept ? kept->size() : bytes.size();
  if (storedSize > kBudgetBytes) return;
  while (totalBytes_ + storedSize > kBudgetBytes) Remove(std::prev(entries_.end()));
  if (!kept) kept = std::make_shared<const std::vector<uint8_t>>(bytes);
  entries_.push_front(Entry{key, kept});
  byKey_[key] = entries_.begin();
  totalBytes_ += kept->size();
}

void DownloadCache::Clear() {
  byKey_.clear();
  entries_.clear();
  totalBytes_ = 0;
  cacheMisses_ = 0;
  cacheHits_ = 0;
}

}  // namespace ovra
