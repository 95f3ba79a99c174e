#pragma once

#include <memory>
#include <unordered_set>
#include <vector>

#include "tasks/task.h"

namespace ovra {

// The connected part of the task graph around some root tasks: everything
// reachable through prerequisites and dependents, in both directions.
struct TaskGroup {
  std::unordered_set<std::shared_ptr<ITask>> running;
  // Never read: keeps finished tasks alive until the whole group is done.
  std::unordered_set<std::shared_ptr<ITask>> finished;
  // The task event count before the last pass, if that pass found nothing.
  uint64_t quietAt = kNoTaskEventYet;
};

using TaskGroupList = std::vector<std::unique_ptr<TaskGroup>>;

// Builds a group around the non-null `roots` and appends it, unless it would
// be empty.
void StartTaskGroup(TaskGroupList& groups, const TaskList& roots);

// One pass over a group: starts every task whose prerequisites have finished
// and retires the tasks seen finished. Returns whether any task finished.
bool StepTaskGroup(TaskGroup& group);

// Steps a group until a pass finishes nothing. A group whose last pass found
// nothing is not stepped again until some task event has happened since:
// without one, every poll would answer as it did.
void PumpTaskGroup(TaskGroup& group);

// Pumps every group until none can progress, including groups started by
// bodies during the call. Groups left with running tasks stay in `groups`;
// finished ones leave it, and those holding results from the host or the
// pool are destroyed by a pool worker. Exceptions from bodies propagate; the
// groups not yet handed back are then dropped with their tasks on the calling
// thread.
void UpdateTaskGroups(TaskGroupList& groups);

}  // namespace ovra
