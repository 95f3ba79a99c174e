#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vandu {

class thread_pool_interface {
 public:
  virtual ~thread_pool_interface() = default;
  // Queues one job; larger priorities run first, equal ones in queue order.
  // May be called from any thread.
  virtual void Enqueue(std::function<void()> work, uint32_t priority) = 0;
  // Blocks until no job is waiting in the queue; jobs already taken by a
  // worker may still be running when it returns.
  virtual void WaitForEmptyQueue() = 0;
};

class default_thread_pool final : public thread_pool_interface {
 public:
  // 0 means one worker per hardware thread; a count below 1 starts none.
  explicit default_thread_pool(int threadCount);
  ~default_thread_pool() override;

  default_thread_pool(const default_thread_pool&) = delete;
  default_thread_pool& operator=(const default_thread_pool&) = delete;

  void Enqueue(std::function<void()> work, uint32_t priority) override;
  void WaitForEmptyQueue() override;

 private:
  struct PoolJob {
    uint32_t priority;
    int64_t enqueueTime;
    std::function<void()> work;
  };
  static bool RunsLater(const PoolJob& a, const PoolJob& b);

  void StopWorkers();
  void WorkerLoop();
  bool TakeJob(PoolJob& job);
  void SignalJobDone();

  std::atomic<bool> running_{true};
  std::vector<PoolJob> jobs_;
  int64_t lastEnqueueTime_ = 0;
  std::mutex queueMutex_;
  std::condition_variable queueCondition_;
  std::mutex idleMutex_;
  std::condition_variable idleCondition_;
  std::vector<std::thread> workers_;
};

// Runs one job, reporting anything it throws on standard error.
void RunReportingExceptions(const std::function<void()>& work);

inline constexpr int kSharedPoolWorkers = 3;

// The process-wide pool of kSharedPoolWorkers workers, created on first use.
thread_pool_interface& SharedThreadPool();

}  // namespace vandu
