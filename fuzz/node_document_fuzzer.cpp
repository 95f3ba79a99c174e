// The node-structure document from arbitrary JSON text. The input is
// compressed first, as entry 0 always is, so that mutations work on the text
// rather than on a zlib stream. JSON errors are the document's expected way
// to fail.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

#include "format/node_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uLongf compressedSize = compressBound(static_cast<uLong>(size));
  std::vector<uint8_t> entry(compressedSize);
  if (compress2(entry.data(), &compressedSize, data, static_cast<uLong>(size), 1) != Z_OK) return 0;
  try {
    const ovra::ParsedNodeDocument parsed = ovra::ParseNodeDocument(nullptr, entry.data(), compressedSize);
    if (parsed.root) {
      ovra::ForEachNode(*parsed.root, [](const ovra::ModelNode& node) {
        if (node.depth > ovra::kMaxNodeDepth) __builtin_trap();
      });
    }
  } catch (const nlohmann::json::exception&) {
  }
  return 0;
}
