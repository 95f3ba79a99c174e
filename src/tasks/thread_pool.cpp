#include "tasks/thread_pool.h"

#include <cxxabi.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <typeinfo>

#include "tasks/format_placeholders.h"

namespace vandu {

namespace {

std::string ReadableTypeName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                   std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

void WriteErrorLine(const std::string& line) {
  std::cerr << line << '\n';
  std::cerr.flush();
}

// Decoding is throughput work. Woken for a job on a machine with fewer cores
// than busy threads, a normal worker preempts the host's render thread, which
// cost the host up to 2 ms a frame; batch scheduling keeps the worker's share
// of the processor and gives up only that preemption. It is a hint: failing
// to set it changes nothing else.
void ScheduleAsBatchWork() {
#ifdef SCHED_BATCH
  const sched_param parameters{};
  sched_setscheduler(0, SCHED_BATCH, &parameters);
#endif
}

int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void RunReportingExceptions(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& e) {
    WriteErrorLine(
        FormatPlaceholders("Caught exception in worker thread: {}: {}.", ReadableTypeName(typeid(e)), e.what()));
  } catch (...) {
    WriteErrorLine("Caught unknown exception in worker thread.");
  }
}

default_thread_pool::default_thread_pool(int threadCount) {
  const int count = threadCount == 0 ? static_cast<int>(std::thread::hardware_concurrency()) : threadCount;
  workers_.reserve(static_cast<size_t>(std::max(count, 0)));
  try {
    for (int i = 0; i < count; ++i) workers_.emplace_back([this] { WorkerLoop(); });
  } catch (...) {
    // No destructor runs for a half-built pool: stop the started workers here.
    StopWorkers();
    throw;
  }
}

default_thread_pool::~default_thread_pool() { StopWorkers(); }

void default_thread_pool::StopWorkers() {
  {
    // Under the lock, so that no worker misses the wake-up between its
    // emptiness test and its wait.
    std::lock_guard lock(queueMutex_);
    running_ = false;
  }
  queueCondition_.notify_all();
  for (auto it = workers_.rbegin(); it != workers_.rend(); ++it) it->join();
}

bool default_thread_pool::RunsLater(const PoolJob& a, const PoolJob& b) {
  if (a.priority != b.priority) return a.priority < b.priority;
  return a.enqueueTime > b.enqueueTime;
}

void default_thread_pool::Enqueue(std::function<void()> work, uint32_t priority) {
  {
    std::lock_guard lock(queueMutex_);
    // Strictly increasing, so that jobs queued within one clock tick still
    // run in queue order.
    lastEnqueueTime_ = std::max(SteadyNanoseconds(), lastEnqueueTime_ + 1);
    jobs_.push_back(PoolJob{priority, lastEnqueueTime_, std::move(work)});
    std::push_heap(jobs_.begin(), jobs_.end(), RunsLater);
  }
  queueCondition_.notify_one();
}

void default_thread_pool::WaitForEmptyQueue() {
  std::unique_lock idleLock(idleMutex_);
  for (;;) {
    {
      std::lock_guard queueLock(queueMutex_);
      if (jobs_.empty()) return;
    }
    idleCondition_.wait(idleLock);
  }
}

bool default_thread_pool::TakeJob(PoolJob& job) {
  std::unique_lock lock(queueMutex_);
  queueCondition_.wait(lock, [this] { return !jobs_.empty() || !running_; });
  if (jobs_.empty()) return false;
  std::pop_heap(jobs_.begin(), jobs_.end(), RunsLater);
  job = std::move(jobs_.back());
  jobs_.pop_back();
  return true;
}

void default_thread_pool::SignalJobDone() {
  std::lock_guard lock(idleMutex_);
  idleCondition_.notify_all();
}

void default_thread_pool::WorkerLoop() {
  ScheduleAsBatchWork();
  while (running_) {
    PoolJob job;
    if (!TakeJob(job)) return;
    RunReportingExceptions(job.work);
    SignalJobDone();
  }
}

thread_pool_interface& SharedThreadPool() {
  static default_thread_pool pool(kSharedPoolWorkers);
  return pool;
}

}  // namespace vandu
