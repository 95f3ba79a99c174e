#pragma once
// The rise of this process's peak resident memory over a stretch of code,
// from Linux's /proc: VmHWM is reset through clear_refs when the stretch
// starts, so earlier peaks do not hide it.
#include <cstdint>
#include <fstream>
#include <string>

namespace ovra::test {

// A field of /proc/self/status in bytes, or 0 when it cannot be read.
inline uint64_t ProcStatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(field + ":")) return std::stoull(line.substr(field.size() + 1)) * 1024;
  }
  return 0;
}

class PeakMemoryRise {
 public:
  PeakMemoryRise() {
    std::ofstream("/proc/self/clear_refs") << "5";
    start_ = ProcStatusBytes("VmRSS");
  }
  uint64_t Bytes() const {
    const uint64_t peak = ProcStatusBytes("VmHWM");
    return peak > start_ ? peak - start_ : 0;
  }

 private:
  uint64_t start_ = 0;
};

}  // namespace ovra::test
