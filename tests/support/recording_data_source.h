#pragma once

#include <cstdint>
#include <vector>

#include "ovra/data_source.h"

namespace ovra::test {

// A data source over an in-memory file that records every request and
// answers either from inside RequestRange or when the test says so. Bytes past
// the end of the file read as zero.
class RecordingDataSource final : public DataSource {
 public:
  struct Request {
    int id;
    uint64_t offset;
    uint64_t size;
  };
  enum class Mode { AnswerImmediately, AnswerLater };

  explicit RecordingDataSource(std::vector<uint8_t> file, Mode mode = Mode::AnswerLater)
      : file_(std::move(file)), mode_(mode) {}

  void RequestRange(int requestId, uint64_t offset, uint64_t size) override {
    requests_.push_back({requestId, offset, size});
    if (mode_ == Mode::AnswerImmediately) Answer(requests_.back());
  }

  // Answers a recorded request with its bytes.
  void Answer(const Request& request) {
    const std::vector<uint8_t> bytes = Read(request.offset, request.size);
    CompleteRangeRequest(request.id, bytes.data());
  }

  std::vector<uint8_t> Read(uint64_t offset, uint64_t size) const {
    std::vector<uint8_t> bytes(size, 0);
    for (uint64_t i = 0; i < size && offset + i < file_.size(); ++i) {
      bytes[i] = file_[offset + i];
    }
    return bytes;
  }

  const std::vector<Request>& Requests() const { return requests_; }

 private:
  std::vector<uint8_t> file_;
  Mode mode_;
  std::vector<Request> requests_;
};

}  // namespace ovra::test
