#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "content/cxm_texture.h"
#include "ovra/mesh_renderer.h"

namespace ovra {

// Decodes one texture entry: KTX2 when the name ends in "ktx2" (asking the
// renderer which GPU format to transcode to), else an image file through
// stb_image with the file's own channel count. Empty bytes give the default
// texture; a failed image decode gives format 0 silently; KTX2 failures are
// logged. Runs on worker threads.
cxm::Texture DecodeTexture(const std::vector<uint8_t>& bytes, std::string_view fileName, IMeshRenderer* renderer);

// The colour texture with the alpha map's first channel as its alpha, as
// RGBA; unchanged when either is GPU-compressed or the colour pixels do not
// cover its size. Grey colour values are replicated into R, G and B. Without
// an alpha map of the same pixel count the colour keeps its own alpha, or is
// opaque when it has none.
cxm::Texture MergeColorAlpha(const cxm::Texture& color, const cxm::Texture& alpha);

// Pixel format code of a KTX-Software transcode target; 0 for any other.
uint32_t FormatOfTranscodeTarget(int target);

}  // namespace ovra
