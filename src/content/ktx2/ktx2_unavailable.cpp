#include "content/ktx2/ktx2_texture.h"

namespace ovra::ktx2 {

// No KTX2 reader is built in yet: every texture is refused as a format this
// build does not support.
int CreateFromMemory(const uint8_t*, size_t, std::unique_ptr<Texture>&) { return kUnsupportedFeature; }

}  // namespace ovra::ktx2
