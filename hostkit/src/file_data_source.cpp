#include "ovra/host/file_data_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ovra/logging.h"

namespace ovra::host {

namespace {

using Clock = std::chrono::steady_clock;

// A file cut short under us or an I/O error is retried this long, with a
// doubling wait up to kLongestWait, before the range reads as zeros.
constexpr auto kGiveUpAfter = std::chrono::minutes(5);
constexpr auto kFirstWait = std::chrono::milliseconds(100);
constexpr auto kLongestWait = std::chrono::milliseconds(5000);

struct Read {
  int id = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
  std::vector<unsigned char> bytes;
  Clock::time_point notBefore{};
  Clock::time_point firstFailure{};  // the epoch while it has not failed
  int attempt = 1;
};

enum class ReadResult { kRead, kCutShort, kFailed };

// Reads [offset, offset + size) into `bytes`, zeros past the end of the file.
// Ending before `expectedSize`, the size the file had when it was opened,
// means the file was cut short under us.
ReadResult ReadRange(int fd, uint64_t expectedSize, Read& read) {
  read.bytes.assign(read.size, 0);
  uint64_t done = 0;
  while (done < read.size) {
    const uint64_t position = read.offset + done;
    if (position < read.offset) return ReadResult::kRead;  // beyond any file: zeros
    const ssize_t got = ::pread(fd, read.bytes.data() + done, read.size - done, static_cast<off_t>(position));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ReadResult::kFailed;
    if (got == 0) return position < expectedSize ? ReadResult::kCutShort : ReadResult::kRead;
    done += static_cast<uint64_t>(got);
  }
  return ReadResult::kRead;
}

std::string Describe(const Read& read) {
  return std::to_string(read.size) + " bytes at " + std::to_string(read.offset) + " of the model file";
}

}  // namespace

// The I/O threads and the queue of reads they have not started.
struct FileDataSource::Reader {
  FileDataSource* owner = nullptr;
  int fd = -1;
  uint64_t fileSize = 0;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Read> requested;
  bool stopping = false;
  // Under `mutex`: reads waiting to be retried, and since when any has been.
  size_t failing = 0;
  Clock::time_point outageStart{};
  std::vector<std::thread> threads;  // last: they start once the rest exists

  void Loop() {
    for (;;) {
      std::optional<Read> read = NextDueRead();
      if (!read) return;
      const ReadResult result = ReadRange(fd, fileSize, *read);
      if (result == ReadResult::kRead) {
        if (read->firstFailure != Clock::time_point{}) Recovered(true);
        owner->Finish(read->id, std::move(read->bytes));
      } else {
        Retry(std::move(*read),
              result == ReadResult::kCutShort ? "the file is shorter than when it was opened" : std::strerror(errno));
      }
    }
  }

  // The oldest read that is due, waiting for one; nothing once stopping.
  std::optional<Read> NextDueRead() {
    std::unique_lock lock(mutex);
    for (;;) {
      if (stopping) return std::nullopt;
      const Clock::time_point now = Clock::now();
      Clock::time_point next = Clock::time_point::max();
      for (auto read = requested.begin(); read != requested.end(); ++read) {
        if (read->notBefore <= now) {
          Read due = std::move(*read);
          requested.erase(read);
          return due;
        }
        next = std::min(next, read->notBefore);
      }
      if (next == Clock::time_point::max()) {
        wake.wait(lock);
      } else {
        wake.wait_until(lock, next);
      }
    }
  }

  // A file cut short may be written again (a model being replaced), and an
  // I/O error may pass: the read waits and is tried again until kGiveUpAfter.
  void Retry(Read read, const std::string& reason) {
    const Clock::time_point now = Clock::now();
    if (read.firstFailure == Clock::time_point{}) read.firstFailure = now;
    if (now - read.firstFailure >= kGiveUpAfter) {
      owner->Fail(read.id, "Could not read " + Describe(read) + " in " + std::to_string(read.attempt) +
                               " attempts: " + reason + "; they read as zeros.");
      Recovered(false);
      return;
    }
    owner->CountRetry();
    const std::string what = Describe(read);
    const auto wait =
        std::min<Clock::duration>(kLongestWait, kFirstWait * (int64_t{1} << std::min(read.attempt - 1, 20)));
    read.notBefore = now + wait;
    ++read.attempt;
    const bool firstAttempt = read.attempt == 2;
    bool began = false;
    {
      std::lock_guard lock(mutex);
      if (firstAttempt && failing++ == 0) {
        began = true;
        outageStart = now;
      }
      requested.push_back(std::move(read));
    }
    if (began) {
      owner->CountOutage();
      Log::Warning("Could not read " + what + " (" + reason + "); retrying.");
    }
    wake.notify_one();
  }

  // A read that had failed is done with, read or given up; the outage ends
  // with the last.
  void Recovered(bool read) {
    Clock::time_point began{};
    {
      std::lock_guard lock(mutex);
      if (--failing > 0) return;
      began = outageStart;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
    owner->OutageEnded(static_cast<uint64_t>(ms));
    if (read) Log::Status("The model file reads again, after " + std::to_string(ms) + " ms.");
  }
};

FileDataSource::FileDataSource(const std::string& path, int ioThreads) : reader_(std::make_unique<Reader>()) {
  reader_->owner = this;
  reader_->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (reader_->fd >= 0 && ::fstat(reader_->fd, &status) == 0) reader_->fileSize = static_cast<uint64_t>(status.st_size);
  for (int i = 0; i < std::max(1, ioThreads); ++i)
    reader_->threads.emplace_back([reader = reader_.get()] { reader->Loop(); });
}

FileDataSource::~FileDataSource() {
  {
    std::lock_guard lock(reader_->mutex);
    reader_->stopping = true;
  }
  reader_->wake.notify_all();
  for (std::thread& thread : reader_->threads) thread.join();
  if (reader_->fd >= 0) ::close(reader_->fd);
}

bool FileDataSource::IsOpen() const { return reader_->fd >= 0; }

uint64_t FileDataSource::FileSize() const { return reader_->fileSize; }

void FileDataSource::StartRead(int requestId, uint64_t offset, uint64_t size) {
  {
    std::lock_guard lock(reader_->mutex);
    reader_->requested.push_back({requestId, offset, size, {}, {}, {}, 1});
  }
  reader_->wake.notify_one();
}

}  // namespace ovra::host
