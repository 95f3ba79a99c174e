// The node-structure document, as entry 0 of a container, from arbitrary
// bytes. JSON errors are the document's expected way to fail.
#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "format/node_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const ovra::ParsedNodeDocument parsed = ovra::ParseNodeDocument(nullptr, data, size);
    if (parsed.root) {
      ovra::ForEachNode(*parsed.root, [](const ovra::ModelNode& node) {
        if (node.depth > ovra::kMaxNodeDepth) __builtin_trap();
      });
    }
  } catch (const nlohmann::json::exception&) {
  }
  return 0;
}
