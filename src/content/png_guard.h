#pragma once

#include <cstdint>
#include <span>

namespace ovra {

// Whether `file` is a PNG whose compressed pixel data inflates to more than
// its header's size needs or cannot be inflated completely, or with a chunk
// that claims more bytes than the file holds. The image decoder grows its
// buffers by what the file claims and by whatever the stream yields, so a
// few hundred bytes could otherwise make it allocate gigabytes. Counts
// without storing. Files that are not PNG are not judged.
bool IsPngBomb(std::span<const uint8_t> file);

}  // namespace ovra
