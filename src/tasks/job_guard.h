#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "tasks/task.h"

namespace ovra {

// Lets an owner of pool jobs (a model) go away safely: once cancelled, jobs
// that have not started skip their work, and the owner waits for the ones
// already running. Shared by the owner and its jobs.
class JobGuard {
 public:
  // False once cancelled; otherwise the job counts as running until Leave.
  bool Enter() {
    std::lock_guard lock(mutex_);
    if (cancelled_) return false;
    ++running_;
    return true;
  }

  void Leave() {
    std::lock_guard lock(mutex_);
    if (--running_ == 0) idle_.notify_all();
  }

  void CancelAndWait() {
    std::unique_lock lock(mutex_);
    cancelled_ = true;
    idle_.wait(lock, [this] { return running_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  int running_ = 0;
  bool cancelled_ = false;
};

// A pool task whose body runs only while `guard` is not cancelled; a skipped
// body yields a default result that nobody reads.
template <typename T>
std::shared_ptr<Task<T>> MakeGuardedPoolTask(std::shared_ptr<JobGuard> guard, typename Task<T>::Body body) {
  return MakeTask<T>(
      [guard = std::move(guard), body = std::move(body)](const ConstTaskList& dependencies) -> T {
        if (!guard->Enter()) return T{};
        struct Leaving {
          JobGuard& guard;
          ~Leaving() { guard.Leave(); }
        } leaving{*guard};
        return body(dependencies);
      },
      ExecutionMode::ThreadPool);
}

}  // namespace ovra
