#pragma once

#include <chrono>
#include <thread>

#include "tasks/task_group.h"

namespace ovra::test {

// Pumps until no group is left or the deadline passes (pool bodies finish on
// their own time). Returns whether every group finished.
inline bool PumpUntilIdle(TaskGroupList& groups, std::chrono::seconds deadline = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    UpdateTaskGroups(groups);
    if (groups.empty()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace ovra::test
