#include "streaming/operation_ids.h"

namespace ovra {

int32_t OperationIdPool::Acquire() {
  if (free_.empty()) return nextOperationId_++;
  const int32_t id = *free_.begin();
  free_.erase(free_.begin());
  return id;
}

void OperationIdPool::Release(int32_t id) {
  if (id >= 0 && id < nextOperationId_) free_.insert(id);
}

OperationIdPool& OperationIds() {
  static OperationIdPool pool;
  return pool;
}

}  // namespace ovra
