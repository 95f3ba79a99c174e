#include "tasks/thread_pool.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <future>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vandu {
namespace {

// Holds the pool's only worker until released, so that jobs queued meanwhile
// are ordered by the queue alone.
class BlockedWorker {
 public:
  explicit BlockedWorker(thread_pool_interface& pool) {
    pool.Enqueue(
        [this, released = release_.get_future().share()] {
          started_.count_down();
          released.wait();
        },
        0xFFFFFFFFu);
    started_.wait();
  }
  void Release() { release_.set_value(); }

 private:
  std::latch started_{1};
  std::promise<void> release_;
};

struct QueuedJob {
  uint32_t priority;
  int label;
};

std::vector<int> RunOrder(const std::vector<QueuedJob>& jobs) {
  // Declared before the pool, which must stop its workers before these go.
  std::mutex mutex;
  std::vector<int> order;
  std::latch done(static_cast<std::ptrdiff_t>(jobs.size()));
  default_thread_pool pool(1);
  BlockedWorker blocker(pool);
  for (const QueuedJob& job : jobs) {
    pool.Enqueue(
        [&, label = job.label] {
          {
            std::lock_guard lock(mutex);
            order.push_back(label);
          }
          done.count_down();
        },
        job.priority);
  }
  blocker.Release();
  done.wait();
  return order;
}

TEST(ThreadPool, EqualPrioritiesRunInQueueOrder) {
  std::vector<QueuedJob> jobs;
  std::vector<int> expected;
  for (int i = 0; i < 200; ++i) {
    jobs.push_back({7, i});
    expected.push_back(i);
  }
  EXPECT_EQ(RunOrder(jobs), expected);
}

TEST(ThreadPool, LargerPriorityOvertakesWaitingJobs) {
  const std::vector<QueuedJob> jobs = {{1, 0}, {1000, 1}, {1, 2}, {5, 3}, {1000, 4}, {0, 5}};
  EXPECT_EQ(RunOrder(jobs), (std::vector<int>{1, 4, 3, 0, 2, 5}));
}

TEST(ThreadPool, WaitForEmptyQueueReturnsOnIdlePool) {
  default_thread_pool pool(2);
  pool.WaitForEmptyQueue();
  default_thread_pool noWorkers(-3);
  noWorkers.WaitForEmptyQueue();
}

TEST(ThreadPool, WaitForEmptyQueueReturnsOnceEveryJobWasTaken) {
  std::atomic<int> taken{0};
  default_thread_pool pool(3);
  for (int i = 0; i < 500; ++i) pool.Enqueue([&] { taken.fetch_add(1); }, 1);
  pool.WaitForEmptyQueue();
  // Every job has left the queue; at most one per worker may still be running.
  EXPECT_GE(taken.load(), 500 - 3);
}

TEST(ThreadPool, RunsEveryJobOnEveryWorkerCount) {
  for (int workers : {1, 2, 3, 8}) {
    std::atomic<int> ran{0};
    {
      std::latch done(100);
      default_thread_pool pool(workers);
      for (int i = 0; i < 100; ++i)
        pool.Enqueue(
            [&] {
              ran++;
              done.count_down();
            },
            i % 3);
      done.wait();
    }
    EXPECT_EQ(ran.load(), 100) << workers << " workers";
  }
}

TEST(ThreadPool, DestructionDropsQueuedJobsWithoutRunningThem) {
  std::atomic<int> ran{0};
  auto marker = std::make_shared<int>(0);
  {
    default_thread_pool pool(-1);  // no worker ever takes a job
    for (int i = 0; i < 10; ++i) pool.Enqueue([&ran, marker] { ran++; }, 1);
    EXPECT_EQ(marker.use_count(), 11);
  }
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(marker.use_count(), 1);
}

struct ThrowCase {
  const char* name;
  std::function<void()> job;
  std::string expectedLine;
};

TEST(ThreadPool, ReportsEscapingExceptionsOnStandardErrorAndKeepsRunning) {
  const std::vector<ThrowCase> cases = {
      {"runtime_error", [] { throw std::runtime_error("disk on fire"); },
       "Caught exception in worker thread: std::runtime_error: disk on fire.\n"},
      {"logic_error", [] { throw std::out_of_range("index 9"); },
       "Caught exception in worker thread: std::out_of_range: index 9.\n"},
      {"int", [] { throw 42; }, "Caught unknown exception in worker thread.\n"},
      {"empty callable", std::function<void()>(),
       "Caught exception in worker thread: std::bad_function_call: bad_function_call.\n"},
  };
  for (const ThrowCase& c : cases) {
    std::latch next(1);
    default_thread_pool pool(1);
    testing::internal::CaptureStderr();
    pool.Enqueue(c.job, 1);
    pool.Enqueue([&] { next.count_down(); }, 0);
    next.wait();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expectedLine) << c.name;
  }
}

TEST(ThreadPool, SharedPoolIsOneProcessWideInstance) {
  EXPECT_EQ(&SharedThreadPool(), &SharedThreadPool());
  std::promise<int> answer;
  SharedThreadPool().Enqueue([&] { answer.set_value(5); }, 1000);
  EXPECT_EQ(answer.get_future().get(), 5);
}

#ifdef SCHED_BATCH
bool ThreadsMaySwitchToBatchScheduling() {
  bool allowed = false;
  std::thread([&] {
    const sched_param parameters{};
    allowed = sched_setscheduler(0, SCHED_BATCH, &parameters) == 0;
  }).join();
  return allowed;
}

// Workers woken for a job must not preempt the thread that queued it.
TEST(ThreadPool, WorkersRunAsBatchWorkAndTheCallerKeepsItsPolicy) {
  if (!ThreadsMaySwitchToBatchScheduling()) GTEST_SKIP() << "this system refuses batch scheduling";
  const int callerPolicy = sched_getscheduler(0);
  default_thread_pool pool(1);
  std::promise<int> policy;
  pool.Enqueue([&] { policy.set_value(sched_getscheduler(0)); }, 1);
  EXPECT_EQ(policy.get_future().get(), SCHED_BATCH);
  EXPECT_EQ(sched_getscheduler(0), callerPolicy);
}
#endif

}  // namespace
}  // namespace vandu
