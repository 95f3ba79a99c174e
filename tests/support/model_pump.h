#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "ovra/model.h"
#include "support/recording_data_source.h"

namespace ovra::test {

// Plays host frames: answers what the host was asked since the last frame,
// then pumps the model, until `done` holds or the deadline passes.
inline bool RunFramesUntil(Model& model, RecordingDataSource& source, const std::function<bool()>& done,
                           std::chrono::seconds deadline = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    source.AnswerPending();
    model.UpdateRunningTasks();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace ovra::test
