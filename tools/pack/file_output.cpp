#include "pack/file_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ovra::tools {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const fs::path& path, int error) {
  throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(error));
}

// The file a chain of symbolic links ends at; `path` itself when it is none.
fs::path ThroughLinks(fs::path path) {
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
    const fs::path target = fs::read_symlink(path, error);
    if (error) Fail(path, error.value());
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  Fail(path, ELOOP);
}

// Writes all of `bytes` to `path`, opened with `flags`; returns errno or 0.
int WriteAll(const fs::path& path, int flags, const std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  size_t written = 0;
  int error = 0;
  while (written < bytes.size() && error == 0) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      error = errno;
    }
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

}  // namespace

void WriteFileAtomically(const fs::path& path, const std::vector<uint8_t>& bytes) {
  const fs::path target = ThroughLinks(path);
  std::error_code statusError;
  const fs::file_status status = fs::status(target, statusError);
  if (fs::is_directory(status)) Fail(path, EISDIR);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // Renaming over a device or pipe would replace it with a plain file.
    if (const int error = WriteAll(target, O_WRONLY, bytes)) Fail(path, error);
    return;
  }
  fs::path partial = target;
  partial += ".partial-" + std::to_string(::getpid());
  if (const int error = WriteAll(partial, O_WRONLY | O_CREAT | O_TRUNC, bytes)) {
    ::unlink(partial.c_str());
    Fail(path, error);
  }
  if (::rename(partial.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(partial.c_str());
    Fail(path, error);
  }
}

void RefuseToOverwriteInputs(const fs::path& output, const std::vector<fs::path>& inputs) {
  for (const fs::path& input : inputs) {
    std::error_code error;
    if (fs::equivalent(output, input, error)) {
      throw std::runtime_error("the output " + output.string() + " is the input " + input.string() +
                               "; refusing to overwrite it");
    }
  }
}

}  // namespace ovra::tools
