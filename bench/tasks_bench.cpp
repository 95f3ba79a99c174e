// Cost of the task machinery on the host thread: what a frame pays per task,
// and what it pays when nothing is ready.
#include <benchmark/benchmark.h>

#include "tasks/task_group.h"

namespace ovra {
namespace {

std::shared_ptr<Task<int>> InlineStep() {
  return MakeTask<int>([](const ConstTaskList&) { return 1; }, ExecutionMode::Inline);
}

// Make, link, pump and finish a chain of inline tasks; reported per task.
void BM_InlineChain(benchmark::State& state) {
  const auto length = static_cast<int>(state.range(0));
  for (auto _ : state) {
    TaskGroupList groups;
    auto last = InlineStep();
    for (int i = 1; i < length; ++i) {
      auto next = InlineStep();
      next->AddDependency(last);
      last = std::move(next);
    }
    StartTaskGroup(groups, {last});
    UpdateTaskGroups(groups);
    benchmark::DoNotOptimize(groups);
  }
  state.SetItemsProcessed(state.iterations() * length);
}
BENCHMARK(BM_InlineChain)->Arg(10)->Arg(1000);

// Independent inline tasks joined by one task without a body.
void BM_InlineFanIn(benchmark::State& state) {
  const auto width = static_cast<int>(state.range(0));
  for (auto _ : state) {
    TaskGroupList groups;
    auto join = std::make_shared<Task<int>>();
    join->SetResult(0);
    for (int i = 0; i < width; ++i) join->AddDependency(InlineStep());
    StartTaskGroup(groups, {join});
    UpdateTaskGroups(groups);
  }
  state.SetItemsProcessed(state.iterations() * width);
}
BENCHMARK(BM_InlineFanIn)->Arg(1000);

// Round trip of one pool body: queue, run on a worker, poll until finished.
void BM_PoolTaskRoundTrip(benchmark::State& state) {
  for (auto _ : state) {
    TaskGroupList groups;
    auto task = MakeTask<int>([](const ConstTaskList&) { return 1; }, ExecutionMode::ThreadPool);
    StartTaskGroup(groups, {task});
    while (!groups.empty()) UpdateTaskGroups(groups);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PoolTaskRoundTrip)->UseRealTime();

// One pump call over tasks that all wait for bytes that have not come: the
// per-frame cost of a model with that many pending tasks.
void BM_PumpPassNothingReady(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  TaskGroupList groups;
  auto bytes = std::make_shared<Task<std::vector<uint8_t>>>();
  TaskList roots;
  for (int i = 0; i < count; ++i) {
    auto waiting = InlineStep();
    waiting->AddDependency(bytes);
    roots.push_back(waiting);
  }
  StartTaskGroup(groups, roots);
  for (auto _ : state) UpdateTaskGroups(groups);
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_PumpPassNothingReady)->Arg(10000);

}  // namespace
}  // namespace ovra
