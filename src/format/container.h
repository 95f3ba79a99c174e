#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace ovra {

// One stored file of the container.
struct ModelFileEntry {
  // Absolute offset in the model file.
  uint64_t offset = 0;
  uint64_t size = 0;
  // Index name without the ".compressed" suffix.
  std::string name;
  // Position in ModelFileLayout::files.
  uint64_t index = 0;
  // The index name ended with ".compressed".
  bool compressed = false;
};

// The parsed header and index.
struct ModelFileLayout {
  uint64_t headerSize = 0;
  uint64_t indexSize = 0;
  uint64_t bodySize = 0;
  uint64_t fileCount = 0;
  std::vector<ModelFileEntry> files;
  // Filled by BuildFilesByName when a model adopts the layout.
  std::unordered_map<std::string, ModelFileEntry> filesByName;
};

enum HeaderResult : int {
  kHeaderComplete = 0,
  kHeaderNeedsMoreBytes = 1,
  kHeaderWrongFormat = 2,
  kHeaderMalformed = 3,
};

inline constexpr size_t kHeaderPrefixSize = 16;

// Parses the header from the first bytes of the file. On kHeaderComplete only,
// writes headerSize, indexSize, bodySize and fileCount of `layout`.
int ParseContainerHeader(const uint8_t* bytes, size_t length, ModelFileLayout& layout);

enum IndexResult : int {
  kIndexParsed = 0,
  kIndexNeedsMoreBytes = 1,
  kIndexRejected = 3,
};

// Parses the compressed index; `indexBytes` starts at file offset headerSize
// and must hold indexSize bytes. Replaces `files`; a malformed index leaves
// it empty and returns kIndexRejected. Returns kIndexRejected without
// touching anything when the header fields are not set.
int ParseContainerIndex(std::span<const uint8_t> indexBytes, ModelFileLayout& layout);

// Rebuilds filesByName from files; of two entries with one name the later wins.
void BuildFilesByName(ModelFileLayout& layout);

}  // namespace ovra
