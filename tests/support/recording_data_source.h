#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "ovra/data_source.h"

namespace ovra::test {

// A data source over an in-memory file that records every request. It
// answers from inside RequestRange, later when the test says so, or never.
// Bytes past the end of the file read as zero.
class RecordingDataSource final : public DataSource {
 public:
  struct Request {
    int id;
    uint64_t offset;
    uint64_t size;
    bool operator==(const Request&) const = default;
  };
  enum class Mode { AnswerImmediately, AnswerLater, NeverAnswer };

  explicit RecordingDataSource(std::vector<uint8_t> file, Mode mode = Mode::AnswerLater)
      : file_(std::move(file)), mode_(mode) {}

  void RequestRange(int requestId, uint64_t offset, uint64_t size) override {
    const Request request{requestId, offset, size};
    requests_.push_back(request);
    if (mode_ == Mode::AnswerImmediately) {
      Answer(request);
    } else if (mode_ == Mode::AnswerLater) {
      pending_.push_back(request);
    }
  }

  // Answers a request with its bytes.
  void Answer(const Request& request) {
    const std::vector<uint8_t> bytes = Read(request.offset, request.size);
    CompleteRangeRequest(request.id, bytes.data());
  }

  // Answers every request queued so far, oldest first. Returns how many.
  size_t AnswerPending() {
    std::deque<Request> queued;
    queued.swap(pending_);
    for (const Request& request : queued) Answer(request);
    return queued.size();
  }

  std::vector<uint8_t> Read(uint64_t offset, uint64_t size) const {
    std::vector<uint8_t> bytes(size, 0);
    for (uint64_t i = 0; i < size && offset + i < file_.size(); ++i) {
      bytes[i] = file_[offset + i];
    }
    return bytes;
  }

  const std::vector<Request>& Requests() const { return requests_; }
  size_t PendingCount() const { return pending_.size(); }

 private:
  std::vector<uint8_t> file_;
  Mode mode_;
  std::vector<Request> requests_;
  std::deque<Request> pending_;
};

}  // namespace ovra::test
