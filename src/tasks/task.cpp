#include "tasks/task.h"

#include <algorithm>
#include <atomic>

namespace ovra {

namespace {
std::atomic<uint64_t> taskEvents{0};
}  // namespace

// Release and acquire: whoever reads a count also sees what the event that
// made it changed.
uint64_t TaskEventCount() { return taskEvents.load(std::memory_order_acquire); }
void NoteTaskEvent() { taskEvents.fetch_add(1, std::memory_order_release); }

void ITask::AddDependency(std::shared_ptr<ITask> dependency) {
  if (!dependency) return;
  // Taken first so that an unowned task throws before anything changes.
  std::weak_ptr<ITask> self = shared_from_this();
  if (std::find(dependencies_.begin(), dependencies_.end(), dependency) == dependencies_.end()) {
    dependencies_.push_back(dependency);
  }
  dependency->dependents_.push_back(std::move(self));
}

void ITask::AddDependencies(const TaskList& list) {
  for (const auto& dependency : list) AddDependency(dependency);
}

}  // namespace ovra
