#pragma once

#include <cstdint>
#include <set>

namespace ovra {

// Identifiers of swap operations: the smallest released one is reused first,
// otherwise the next never used. Host thread only.
class OperationIdPool {
 public:
  int32_t Acquire();
  // Ids never handed out and ids already free are ignored.
  void Release(int32_t id);

 private:
  std::set<int32_t> free_;
  int32_t nextOperationId_ = 0;
};

// The pool shared by every controller of the process.
OperationIdPool& OperationIds();

}  // namespace ovra
