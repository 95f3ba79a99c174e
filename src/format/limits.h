#pragma once

#include <cstddef>
#include <cstdint>

namespace ovra {

// What one model file can make the library allocate. Each is generous for
// real models and keeps a hostile file from exhausting memory; docs/limits.md
// lists them for users.
inline constexpr uint64_t kMaxIndexBytes = uint64_t{64} << 20;     // stored (compressed) index
inline constexpr size_t kMaxIndexTextBytes = size_t{64} << 20;     // index after inflating
inline constexpr size_t kMaxIndexEntries = size_t{1} << 20;        // entries of the index
inline constexpr uint64_t kMaxDocumentBytes = uint64_t{64} << 20;  // stored node document, entry 0
inline constexpr size_t kMaxDocumentTextBytes = size_t{64} << 20;  // node document after inflating
inline constexpr size_t kMaxDocumentValues = size_t{1} << 22;      // JSON values of the node document
inline constexpr size_t kMaxNodes = size_t{1} << 20;               // nodes of one tree
inline constexpr uint64_t kMaxEntryBytes = uint64_t{256} << 20;    // one geometry or texture entry
inline constexpr int kMaxTextureSide = 16384;                      // pixels per side of an image texture
inline constexpr uint64_t kMaxTexturePixels = uint64_t{64} << 20;  // pixels of an image texture (8K x 8K)

}  // namespace ovra
