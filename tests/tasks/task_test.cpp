#include "tasks/task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/pump.h"

namespace ovra {
namespace {

using Bytes = std::vector<uint8_t>;

std::shared_ptr<Task<int>> Constant(int value) {
  return MakeTask<int>([value](const ConstTaskList&) { return value; }, ExecutionMode::Inline);
}

// Starts a task the way the pump does.
void StartNow(ITask& task) {
  task.Start();
  task.MarkStarted();
}

// Polls a started task until its pool body has delivered.
bool WaitFinished(ITask& task) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!task.IsFinished()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(Task, AddDependencyListsEachPrerequisiteOnceButRecordsEveryDependentLink) {
  auto a = Constant(1);
  auto b = Constant(2);
  auto sum = MakeTask<int>(
      [](const ConstTaskList& deps) {
        int total = 0;
        for (size_t i = 0; i < deps.size(); ++i) total += UnpackResult<int>(deps, i);
        return total;
      },
      ExecutionMode::Inline);
  sum->AddDependencies({a, b, a, nullptr, b});
  sum->AddDependency(nullptr);

  ASSERT_EQ(sum->Dependencies().size(), 2u);
  EXPECT_EQ(sum->Dependencies()[0], a);
  EXPECT_EQ(sum->Dependencies()[1], b);
  EXPECT_EQ(a->Dependents().size(), 2u);
  StartNow(*a);
  StartNow(*b);
  StartNow(*sum);
  EXPECT_EQ(sum->Result(), 3);
}

TEST(Task, AddDependencyOnUnownedTaskThrowsBadWeakPtrAndChangesNothing) {
  auto dependency = Constant(1);
  // Owned by something other than a shared_ptr.
  struct Unowned {
    Task<int> task;
  };
  auto holder = std::make_unique<Unowned>();
  EXPECT_THROW(holder->task.AddDependency(dependency), std::bad_weak_ptr);
  EXPECT_TRUE(holder->task.Dependencies().empty());
  EXPECT_TRUE(dependency->Dependents().empty());
}

TEST(Task, TaskWithoutBodyFinishesOnlyOnceStartedAndGivenAResult) {
  auto bytes = std::make_shared<Task<Bytes>>();
  bytes->SetResult({1, 2, 3});
  EXPECT_FALSE(bytes->IsFinished()) << "a result alone does not finish an unstarted task";
  StartNow(*bytes);
  EXPECT_TRUE(bytes->IsFinished());
  bytes->SetResult({9});
  EXPECT_EQ(bytes->Result(), Bytes{9}) << "a later result replaces the earlier one";

  auto waiting = std::make_shared<Task<Bytes>>();
  StartNow(*waiting);
  EXPECT_FALSE(waiting->IsFinished());
}

TEST(Task, SetResultOnTaskWithBodyIsIgnored) {
  for (ExecutionMode mode : {ExecutionMode::Inline, ExecutionMode::ThreadPool}) {
    auto task = MakeTask<int>([](const ConstTaskList&) { return 7; }, mode);
    task->SetResult(99);
    EXPECT_FALSE(task->IsFinished());
    StartNow(*task);
    ASSERT_TRUE(WaitFinished(*task));
    EXPECT_EQ(task->Result(), 7);
  }
}

TEST(Task, ThrowingInlineBodyLeavesStartAndTaskStaysUnfinished) {
  auto task = MakeTask<int>([](const ConstTaskList&) -> int { throw std::logic_error("bad"); }, ExecutionMode::Inline);
  EXPECT_THROW(task->Start(), std::logic_error);
  task->MarkStarted();
  EXPECT_FALSE(task->IsFinished());
}

TEST(Task, PoolBodyRunsOnAWorkerWithItsPrerequisites) {
  auto input = std::make_shared<Task<Bytes>>();
  input->SetResult({4, 5, 6});
  StartNow(*input);
  const auto host = std::this_thread::get_id();
  auto sum = MakeTask<int>(
      [host](const ConstTaskList& deps) {
        if (std::this_thread::get_id() == host) return -1;
        int total = 0;
        for (uint8_t b : UnpackResult<Bytes>(deps, 0)) total += b;
        return total;
      },
      ExecutionMode::ThreadPool);
  sum->AddDependency(input);
  StartNow(*sum);
  ASSERT_TRUE(WaitFinished(*sum));
  EXPECT_EQ(sum->Result(), 15);
}

TEST(Task, ThrowingPoolBodyThrowsOnceFromIsFinishedThenCountsAsFinished) {
  auto task =
      MakeTask<std::string>([](const ConstTaskList&) -> std::string { throw std::runtime_error("decode failed"); },
                            ExecutionMode::ThreadPool);
  StartNow(*task);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool threw = false;
  while (!threw && std::chrono::steady_clock::now() < end) {
    try {
      if (task->IsFinished()) break;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "decode failed");
      threw = true;
    }
  }
  ASSERT_TRUE(threw);
  EXPECT_TRUE(task->IsFinished());
  EXPECT_EQ(task->Result(), "");
}

TEST(Task, PoolJobOutlivesItsDestroyedTaskAndReleasesItsCopies) {
  auto capture = std::make_shared<std::atomic<bool>>(false);
  {
    auto task = MakeTask<int>(
        [capture](const ConstTaskList&) {
          *capture = true;
          return 1;
        },
        ExecutionMode::ThreadPool);
    StartNow(*task);
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (capture.use_count() > 1 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(*capture) << "destroying the task must not cancel its job";
  EXPECT_EQ(capture.use_count(), 1) << "the job must release its copy of the body";
}

struct UnpackCase {
  const char* name;
  size_t index;
};

TEST(UnpackResult, RejectsIndexPastEndAndWrongType) {
  auto number = Constant(3);
  StartNow(*number);
  const ConstTaskList deps = {number};
  for (const UnpackCase& c : {UnpackCase{"past the end", 1}, UnpackCase{"far past", 100}}) {
    try {
      (void)UnpackResult<int>(deps, c.index);
      ADD_FAILURE() << c.name;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Failed to unpack task.") << c.name;
    }
  }
  try {
    (void)UnpackResult<Bytes>(deps, 0);
    ADD_FAILURE() << "wrong type";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to unpack task.");
  }
  EXPECT_EQ(UnpackResult<int>(deps, 0), 3);
}

TEST(ContinueWith, RunsStepOnInputResult) {
  auto input = std::make_shared<Task<Bytes>>();
  input->SetResult({1, 2});
  StartNow(*input);
  auto next = ContinueWith<Bytes>(input, [](const Bytes& b) { return static_cast<int>(b.size()); });
  ASSERT_EQ(next->Dependencies().size(), 1u);
  StartNow(*next);
  EXPECT_EQ(next->Result(), 2);
}

TEST(ContinueWith, PrerequisiteOfAnotherTypeThrowsInvalidTaskType) {
  auto next = ContinueWith<Bytes>(nullptr, [](const Bytes&) { return 0; });
  EXPECT_THROW(next->Start(), std::out_of_range) << "no prerequisite at all";

  auto number = Constant(1);
  StartNow(*number);
  next->AddDependency(number);
  try {
    next->Start();
    ADD_FAILURE() << "expected a throw";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "invalid task type");
  }
}

}  // namespace
}  // namespace ovra
