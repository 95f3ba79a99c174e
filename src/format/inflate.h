#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovra {

// Largest output InflateZlib produces by default. A stream that inflates to
// more is treated as undecompressable, so a hostile file cannot make the
// library allocate without bound.
inline constexpr size_t kMaxInflatedBytes = size_t{1} << 30;

// Decompresses one whole zlib stream, or returns an empty vector when it
// cannot. The output buffer starts at 5 times the input and grows 3-fold
// until the stream fits or `maxOutput` is reached.
std::vector<uint8_t> InflateZlib(const uint8_t* bytes, size_t length, size_t maxOutput = kMaxInflatedBytes);

}  // namespace ovra
