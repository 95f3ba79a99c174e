#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "tasks/thread_pool.h"

namespace ovra {

class ITask;
using TaskList = std::vector<std::shared_ptr<ITask>>;
using ConstTaskList = std::vector<std::shared_ptr<const ITask>>;

// One node of the task graph. Tasks are always created and owned through
// std::shared_ptr of their concrete type, which also destroys them, so there
// is no virtual destructor. All members are touched on the pumping thread
// only.
class ITask : public std::enable_shared_from_this<ITask> {
 public:
  ITask() = default;
  ITask(const ITask&) = delete;
  ITask& operator=(const ITask&) = delete;

  virtual bool IsFinished() = 0;
  virtual void Start() = 0;
  // Whether the result may be bulk data from off the pumping thread: bytes
  // the host delivered or data a pool worker decoded. Numbers never are.
  virtual bool CarriesOutsideData() const = 0;

  // Null is ignored; a prerequisite is listed once however often it is added.
  // Throws std::bad_weak_ptr unless this task is already owned by a shared_ptr.
  void AddDependency(std::shared_ptr<ITask> dependency);
  void AddDependencies(const TaskList& list);

  const TaskList& Dependencies() const { return dependencies_; }
  const std::vector<std::weak_ptr<ITask>>& Dependents() const { return dependents_; }

  // Set by the pump once Start() has returned.
  bool IsStarted() const { return started_; }
  void MarkStarted() { started_ = true; }

 protected:
  ~ITask() = default;

 private:
  TaskList dependencies_;
  std::vector<std::weak_ptr<ITask>> dependents_;
  bool started_ = false;
};

// A count of the events that can change what polling a task answers: a
// result given, a pool body done, a pump pass that finished tasks. Between two
// events every poll answers as before, so the pump passes over a group whose
// last pass found nothing to do for as long as the count stands.
uint64_t TaskEventCount();
void NoteTaskEvent();
inline constexpr uint64_t kNoTaskEventYet = std::numeric_limits<uint64_t>::max();

enum class ExecutionMode : uint8_t { Inline = 0, ThreadPool = 1 };

// Priority of every task body queued on the shared pool.
inline constexpr uint32_t kTaskPoolPriority = 1000;

// A task producing a T, either from a body (run inline or on the shared pool)
// or, without a body, from SetResult.
template <typename T>
class Task final : public ITask {
 public:
  using Body = std::function<T(const ConstTaskList&)>;

  // Without a body: finishes once started and given a result.
  Task() = default;
  Task(Body body, ExecutionMode mode) : runMode_(static_cast<int>(mode) + 1), body_(std::move(body)) {}

  bool IsFinished() override {
    if (!IsStarted()) return false;
    if (hasResult_) return true;
    if (runMode_ != kPoolBody) return false;
    if (future_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      return false;
    }
    // Marked first: a body that threw surfaces here once, after which the
    // task counts as finished with its initial result.
    hasResult_ = true;
    std::future<T> ready = std::move(future_);
    result_ = ready.get();
    return true;
  }

  void Start() override {
    if (runMode_ == kInlineBody) {
      result_ = body_(ConstDependencies());
      hasResult_ = true;
    } else if (runMode_ == kPoolBody) {
      StartOnPool();
    }
  }

  bool CarriesOutsideData() const override { return !std::is_arithmetic_v<T> && runMode_ != kInlineBody; }

  // Ignored for tasks with a body.
  void SetResult(T value) {
    if (runMode_ != kNoBody) return;
    result_ = std::move(value);
    hasResult_ = true;
    NoteTaskEvent();
  }

  const T& Result() const { return result_; }

 private:
  static constexpr int kNoBody = 0;
  static constexpr int kInlineBody = 1;
  static constexpr int kPoolBody = 2;

  ConstTaskList ConstDependencies() const { return ConstTaskList(Dependencies().begin(), Dependencies().end()); }

  // The job holds copies of the body and the prerequisites, never the task,
  // so the task may die while its job is queued or running.
  void StartOnPool() {
    auto job = std::make_shared<std::packaged_task<T()>>(
        [body = body_, dependencies = ConstDependencies()] { return body(dependencies); });
    future_ = job->get_future();
    // Noted once the future is ready, so that a pump that sees the new count
    // also sees the result.
    vandu::SharedThreadPool().Enqueue(
        [job] {
          (*job)();
          NoteTaskEvent();
        },
        kTaskPoolPriority);
  }

  int runMode_ = kNoBody;
  Body body_;
  std::future<T> future_;
  T result_{};
  bool hasResult_ = false;
};

template <typename T>
std::shared_ptr<Task<T>> MakeTask(typename Task<T>::Body body, ExecutionMode mode) {
  return std::make_shared<Task<T>>(std::move(body), mode);
}

namespace task_detail {

template <typename X>
const Task<X>* AsTask(const std::shared_ptr<const ITask>& task) {
  return dynamic_cast<const Task<X>*>(task.get());
}

// Moves a value still held by a pool future into the result first; that is
// the only change, hence the cast.
template <typename X>
const X& FinishedResult(const Task<X>& task) {
  const_cast<Task<X>&>(task).IsFinished();
  return task.Result();
}

}  // namespace task_detail

// The result of prerequisite `index`, for use inside bodies.
template <typename X>
const X& UnpackResult(const ConstTaskList& dependencies, size_t index) {
  const Task<X>* task = index < dependencies.size() ? task_detail::AsTask<X>(dependencies[index]) : nullptr;
  if (task == nullptr) throw std::runtime_error("Failed to unpack task.");
  return task_detail::FinishedResult(*task);
}

// The result of prerequisite 0, for bodies that continue one task. An empty
// list throws std::out_of_range, a prerequisite of another type
// "invalid task type".
template <typename X>
const X& FirstDependencyResult(const ConstTaskList& dependencies) {
  const Task<X>* task = task_detail::AsTask<X>(dependencies.at(0));
  if (task == nullptr) throw std::runtime_error("invalid task type");
  return task_detail::FinishedResult(*task);
}

// An inline task that runs `step` on the result of `input`.
template <typename X>
std::shared_ptr<Task<int>> ContinueWith(std::shared_ptr<Task<X>> input, std::function<int(const X&)> step) {
  auto continuation =
      MakeTask<int>([step = std::move(step)](
                        const ConstTaskList& dependencies) { return step(FirstDependencyResult<X>(dependencies)); },
                    ExecutionMode::Inline);
  continuation->AddDependency(std::move(input));
  return continuation;
}

}  // namespace ovra
