#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tasks/task.h"

namespace ovra {

using ByteTask = Task<std::vector<uint8_t>>;

// One byte range of the model file and the task that receives its bytes.
struct RangeRequest {
  uint64_t offset = 0;
  uint64_t size = 0;
  // Container entry name for content downloads (the cache key); else empty.
  std::string name;
  std::shared_ptr<ByteTask> task;
};

}  // namespace ovra
