#include "ovra/host/file_data_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace ovra::host {

namespace {

struct Read {
  int id = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
  std::vector<unsigned char> bytes;
};

// Reads [offset, offset + size) into `bytes`, zeros past the end of the file.
// Returns false on an I/O error.
bool ReadRange(int fd, Read& read) {
  read.bytes.assign(read.size, 0);
  uint64_t done = 0;
  while (done < read.size) {
    const uint64_t position = read.offset + done;
    if (position < read.offset) return true;  // beyond any file: zeros
    const ssize_t got = ::pread(fd, read.bytes.data() + done, read.size - done, static_cast<off_t>(position));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;  // end of file
    done += static_cast<uint64_t>(got);
  }
  return true;
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
  std::vector<std::thread> threads;  // last: they start once the rest exists

  void Loop() {
    for (;;) {
      Read read;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return stopping || !requested.empty(); });
        if (stopping) return;
        read = std::move(requested.front());
        requested.pop_front();
      }
      if (ReadRange(fd, read)) {
        owner->Finish(read.id, std::move(read.bytes));
      } else {
        owner->Fail(read.id, "Could not read " + std::to_string(read.size) + " bytes at " +
                                 std::to_string(read.offset) + " of the model file: " + std::strerror(errno) +
                                 "; they read as zeros.");
      }
    }
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
    reader_->requested.push_back({requestId, offset, size, {}});
  }
  reader_->wake.notify_one();
}

}  // namespace ovra::host
