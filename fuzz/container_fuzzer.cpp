// The container header and index from arbitrary bytes: any outcome but a
// crash, a hang or an out-of-bounds access is fine.
#include <cstddef>
#include <cstdint>
#include <span>

#include "format/container.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ovra::ModelFileLayout layout;
  if (ovra::ParseContainerHeader(data, size, layout) != ovra::kHeaderComplete) return 0;
  if (layout.headerSize > size) __builtin_trap();
  ovra::ParseContainerIndex(std::span<const uint8_t>(data + layout.headerSize, size - layout.headerSize), layout);
  for (const ovra::ModelFileEntry& entry : layout.files) {
    if (entry.offset < layout.headerSize + layout.indexSize) __builtin_trap();
  }
  ovra::BuildFilesByName(layout);
  return 0;
}
