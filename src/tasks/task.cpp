#include "tasks/task.h"

#include <algorithm>

namespace ovra {

void ITask::AddDependency(std::shared_ptr<ITask> dependency) {
  if (!dependency) return;
  // Taken first so that an unowned task throws before anything changes.
  std::weak_ptr<ITask> self = shared_from_this();
  if (std::find(dependencies_.begin(), dependencies_.end(), dependency) ==
      dependencies_.end()) {
    dependencies_.push_back(dependency);
  }
  dependency->dependents_.push_back(std::move(self));
}

void ITask::AddDependencies(const TaskList& list) {
  for (const auto& dependency : list) AddDependency(dependency);
}

}  // namespace ovra
