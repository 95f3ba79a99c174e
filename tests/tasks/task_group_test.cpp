#include "tasks/task_group.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/pump.h"

namespace ovra {
namespace {

using Bytes = std::vector<uint8_t>;

// Inline task appending its name to a shared journal when it runs.
std::shared_ptr<Task<int>> Step(std::vector<std::string>& journal, std::string name) {
  return MakeTask<int>(
      [&journal, name](const ConstTaskList&) {
        journal.push_back(name);
        return 0;
      },
      ExecutionMode::Inline);
}

TEST(TaskGroup, StartTaskGroupWithOnlyNullRootsAddsNothing) {
  TaskGroupList groups;
  StartTaskGroup(groups, {});
  StartTaskGroup(groups, {nullptr, nullptr});
  EXPECT_TRUE(groups.empty());
}

TEST(TaskGroup, CollectsTheWholeConnectedGraphInBothDirections) {
  std::vector<std::string> journal;
  auto a = Step(journal, "a");
  auto b = Step(journal, "b");
  auto c = Step(journal, "c");
  auto sibling = Step(journal, "sibling");
  b->AddDependency(a);
  c->AddDependency(b);
  sibling->AddDependency(a);  // reached from c only through a's dependents

  TaskGroupList groups;
  StartTaskGroup(groups, {c});
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0]->running.size(), 4u);
}

TEST(TaskGroup, InlineChainCompletesWithinOneCallInDependencyOrder) {
  std::vector<std::string> journal;
  auto a = Step(journal, "A");
  auto b = Step(journal, "B");
  auto c = Step(journal, "C");
  c->AddDependency(b);
  b->AddDependency(a);

  TaskGroupList groups;
  StartTaskGroup(groups, {c});
  UpdateTaskGroups(groups);
  EXPECT_EQ(journal, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(groups.empty()) << "a finished group is removed";
  EXPECT_TRUE(c->IsFinished());
}

TEST(TaskGroup, GroupStartedFromInsideAPassRunsInTheSameCall) {
  std::vector<std::string> journal;
  TaskGroupList groups;
  auto inner = Step(journal, "inner");
  auto outer = MakeTask<int>(
      [&](const ConstTaskList&) {
        journal.push_back("outer");
        StartTaskGroup(groups, {inner});
        return 0;
      },
      ExecutionMode::Inline);
  StartTaskGroup(groups, {outer});
  UpdateTaskGroups(groups);
  EXPECT_EQ(journal, (std::vector<std::string>{"outer", "inner"}));
  EXPECT_TRUE(groups.empty());
}

TEST(TaskGroup, UnansweredByteTaskKeepsItsGroupWithoutBlockingOthers) {
  std::vector<std::string> journal;
  auto never = std::make_shared<Task<Bytes>>();
  auto waiting = Step(journal, "waiting");
  waiting->AddDependency(never);
  auto free = Step(journal, "free");

  TaskGroupList groups;
  StartTaskGroup(groups, {waiting});
  StartTaskGroup(groups, {free});
  for (int frame = 0; frame < 3; ++frame) UpdateTaskGroups(groups);

  EXPECT_EQ(journal, (std::vector<std::string>{"free"}));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0]->running, (std::unordered_set<std::shared_ptr<ITask>>{never, waiting}));

  never->SetResult({1});
  UpdateTaskGroups(groups);
  EXPECT_EQ(journal, (std::vector<std::string>{"free", "waiting"}));
  EXPECT_TRUE(groups.empty());
}

// Waits for ever, counting how often the pump asks.
class CountingTask final : public ITask {
 public:
  bool IsFinished() override {
    ++polls;
    return false;
  }
  void Start() override {}
  bool CarriesOutsideData() const override { return false; }
  int polls = 0;
};

TEST(TaskGroup, AGroupThatFoundNothingIsNotPolledAgainUntilSomeTaskEvent) {
  auto waiting = std::make_shared<CountingTask>();
  TaskGroupList groups;
  StartTaskGroup(groups, {waiting});
  UpdateTaskGroups(groups);
  ASSERT_EQ(waiting->polls, 1);
  for (int frame = 0; frame < 3; ++frame) UpdateTaskGroups(groups);
  EXPECT_EQ(waiting->polls, 1) << "nothing happened since the last pass";

  // An answer anywhere, even to a task of no group, may concern it.
  std::make_shared<Task<Bytes>>()->SetResult({});
  UpdateTaskGroups(groups);
  EXPECT_EQ(waiting->polls, 2);

  // So may a pass elsewhere that finished tasks: a later group, so the
  // waiting one is asked again in the next call, as it would be polled
  // before that pass anyway.
  std::vector<std::string> journal;
  StartTaskGroup(groups, {Step(journal, "elsewhere")});
  UpdateTaskGroups(groups);
  EXPECT_EQ(journal.size(), 1u);
  UpdateTaskGroups(groups);
  EXPECT_EQ(waiting->polls, 3);
  EXPECT_EQ(groups.size(), 1u);
}

TEST(TaskGroup, TaskSharedByTwoGroupsStartsOnce) {
  std::vector<std::string> journal;
  auto shared = Step(journal, "shared");
  auto left = Step(journal, "left");
  auto right = Step(journal, "right");
  left->AddDependency(shared);
  right->AddDependency(shared);

  TaskGroupList groups;
  StartTaskGroup(groups, {left});
  StartTaskGroup(groups, {right});
  UpdateTaskGroups(groups);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "shared"), 1);
  EXPECT_EQ(journal.size(), 3u);
}

TEST(TaskGroup, PoolBodiesFinishThroughLaterPumpCalls) {
  auto input = std::make_shared<Task<Bytes>>();
  auto length =
      MakeTask<int>([](const ConstTaskList& deps) { return static_cast<int>(UnpackResult<Bytes>(deps, 0).size()); },
                    ExecutionMode::ThreadPool);
  length->AddDependency(input);
  int seen = 0;
  auto report = ContinueWith<int>(length, [&](const int& n) { return seen = n; });

  TaskGroupList groups;
  StartTaskGroup(groups, {report});
  input->SetResult(Bytes(5));
  ASSERT_TRUE(test::PumpUntilIdle(groups));
  EXPECT_EQ(seen, 5);
}

// A result that notes the thread it is destroyed on; moved-from ones do not.
struct DestructionWitness {
  struct Record {
    std::atomic<bool> destroyed{false};
    std::thread::id thread;
  };
  std::shared_ptr<Record> record;

  DestructionWitness() = default;
  explicit DestructionWitness(std::shared_ptr<Record> r) : record(std::move(r)) {}
  DestructionWitness(DestructionWitness&&) = default;
  DestructionWitness& operator=(DestructionWitness&&) = default;
  ~DestructionWitness() {
    if (!record) return;
    record->thread = std::this_thread::get_id();
    record->destroyed.store(true, std::memory_order_release);
  }
};

bool AwaitDestruction(const DestructionWitness::Record& record) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!record.destroyed.load(std::memory_order_acquire)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A finished group leaves the list within the pump call. One holding results
// from the host or the pool is freed by a worker, inline work alone at once.
TEST(TaskGroup, FinishedGroupsWithOutsideResultsAreFreedOffThePumpingThread) {
  using Witness = DestructionWitness;
  using Make = std::function<std::shared_ptr<Task<Witness>>(std::shared_ptr<Witness::Record>)>;
  const auto withBody = [](ExecutionMode mode) -> Make {
    return [mode](std::shared_ptr<Witness::Record> record) {
      return MakeTask<Witness>([record](const ConstTaskList&) { return Witness(record); }, mode);
    };
  };
  const Make answered = [](std::shared_ptr<Witness::Record> record) {
    auto task = std::make_shared<Task<Witness>>();
    task->SetResult(Witness(std::move(record)));
    return task;
  };
  const struct {
    const char* name;
    Make make;
    bool freedByAWorker;
  } cases[] = {
      {"answered by the host", answered, true},
      {"pool body", withBody(ExecutionMode::ThreadPool), true},
      {"inline body", withBody(ExecutionMode::Inline), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto record = std::make_shared<Witness::Record>();
    TaskGroupList groups;
    StartTaskGroup(groups, {c.make(record)});
    ASSERT_TRUE(test::PumpUntilIdle(groups));
    EXPECT_TRUE(groups.empty());
    if (!c.freedByAWorker) {
      EXPECT_TRUE(record->destroyed.load());
    }
    ASSERT_TRUE(AwaitDestruction(*record));
    EXPECT_EQ(record->thread != std::this_thread::get_id(), c.freedByAWorker);
  }
}

TEST(TaskGroup, ExceptionLeavesPumpDroppingGroupsNotYetHandedBack) {
  std::vector<std::string> journal;
  auto never = std::make_shared<Task<Bytes>>();
  auto parked = Step(journal, "parked");
  parked->AddDependency(never);
  auto thrower =
      MakeTask<int>([](const ConstTaskList&) -> int { throw std::runtime_error("boom"); }, ExecutionMode::Inline);
  auto unvisited = std::make_shared<Task<Bytes>>();
  auto later = Step(journal, "later");
  later->AddDependency(unvisited);

  TaskGroupList groups;
  StartTaskGroup(groups, {parked});   // kept: handed back before the throw
  StartTaskGroup(groups, {thrower});  // throws
  StartTaskGroup(groups, {later});    // never reached: dropped
  std::weak_ptr<ITask> laterWatch = later;
  later.reset();

  EXPECT_THROW(UpdateTaskGroups(groups), std::runtime_error);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_TRUE(groups[0]->running.contains(parked));
  EXPECT_TRUE(laterWatch.expired()) << "a dropped group releases its tasks";
}

TEST(TaskGroup, ThrowingPoolBodyReachesThePumpCallerOnce) {
  auto failing = MakeTask<int>([](const ConstTaskList&) -> int { throw std::runtime_error("bad mesh"); },
                               ExecutionMode::ThreadPool);
  std::vector<std::string> journal;
  auto continuation = ContinueWith<int>(failing, [&](const int&) {
    journal.push_back("continued");
    return 0;
  });
  TaskGroupList groups;
  StartTaskGroup(groups, {continuation});

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool threw = false;
  while (!threw && std::chrono::steady_clock::now() < end) {
    try {
      UpdateTaskGroups(groups);
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "bad mesh");
      threw = true;
    }
  }
  ASSERT_TRUE(threw);
  EXPECT_TRUE(groups.empty()) << "the group holding the failed task is dropped";
  UpdateTaskGroups(groups);
  EXPECT_TRUE(journal.empty()) << "the continuation of a failed task never runs";
}

}  // namespace
}  // namespace ovra
