#include "tasks/task_group.h"

#include <algorithm>

namespace ovra {

namespace {

// Iterative, so that a long chain cannot exhaust the stack.
void CollectTasks(TaskGroup& group, const std::shared_ptr<ITask>& root) {
  std::vector<std::shared_ptr<ITask>> pending{root};
  while (!pending.empty()) {
    std::shared_ptr<ITask> task = std::move(pending.back());
    pending.pop_back();
    if (!group.running.insert(task).second) continue;
    for (const auto& dependency : task->Dependencies()) {
      if (!group.running.contains(dependency)) pending.push_back(dependency);
    }
    for (const auto& weakDependent : task->Dependents()) {
      auto dependent = weakDependent.lock();
      if (dependent && !group.running.contains(dependent)) {
        pending.push_back(std::move(dependent));
      }
    }
  }
}

bool PrerequisitesFinished(const ITask& task) {
  return std::all_of(task.Dependencies().begin(), task.Dependencies().end(),
                     [](const auto& dependency) { return dependency->IsFinished(); });
}

}  // namespace

void StartTaskGroup(TaskGroupList& groups, const TaskList& roots) {
  auto group = std::make_unique<TaskGroup>();
  for (const auto& root : roots) {
    if (root) CollectTasks(*group, root);
  }
  if (!group->running.empty()) groups.push_back(std::move(group));
}

bool StepTaskGroup(TaskGroup& group) {
  std::vector<std::shared_ptr<ITask>> done;
  for (const auto& task : group.running) {
    if (!task->IsStarted() && PrerequisitesFinished(*task)) {
      task->Start();
      task->MarkStarted();
    }
    if (task->IsStarted() && task->IsFinished()) done.push_back(task);
  }
  for (auto& task : done) {
    group.running.erase(task);
    group.finished.insert(std::move(task));
  }
  return !done.empty();
}

void PumpTaskGroup(TaskGroup& group) {
  for (;;) {
    const uint64_t events = TaskEventCount();
    if (group.quietAt == events) return;
    if (!StepTaskGroup(group)) {
      group.quietAt = events;
      return;
    }
    // Tasks finished here may be what other groups' tasks wait for.
    NoteTaskEvent();
  }
}

namespace {

bool HoldsOutsideData(const TaskGroup& group) {
  return std::any_of(group.finished.begin(), group.finished.end(),
                     [](const auto& task) { return task->CarriesOutsideData(); });
}

// Finished groups that loaded content hold its file bytes and decoded
// arrays. Freeing megabytes can make the allocator hand memory back to the
// system, which has cost the host thread over 10 ms in one frame, so a worker
// frees them. Nothing reads these tasks any more; what task bodies capture
// must therefore be safe to destroy on any thread. Groups of inline work
// alone are small and not worth the hand-over.
void Retire(TaskGroupList& finished) {
  if (finished.empty()) return;
  TaskGroupList heavy;
  for (auto& group : finished) {
    if (HoldsOutsideData(*group)) heavy.push_back(std::move(group));
  }
  finished.clear();
  if (heavy.empty()) return;
  auto held = std::make_shared<TaskGroupList>(std::move(heavy));
  vandu::SharedThreadPool().Enqueue([held] { held->clear(); }, kTaskPoolPriority);
}

}  // namespace

void UpdateTaskGroups(TaskGroupList& groups) {
  TaskGroupList retired;
  for (;;) {
    TaskGroupList pending = std::move(groups);
    groups.clear();
    size_t kept = 0;
    for (auto& group : pending) {
      PumpTaskGroup(*group);
      if (group->running.empty()) {
        retired.push_back(std::move(group));
      } else {
        groups.push_back(std::move(group));
        ++kept;
      }
    }
    // Bodies may have started new groups during the pass.
    if (groups.size() == kept) break;
  }
  Retire(retired);
}

}  // namespace ovra
