#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "content/cxm_mesh.h"
#include "format/material.h"

namespace ovra {

// Why a geometry stream was refused.
enum class MeshDecodeError {
  kNone,
  kTruncated,         // a field reaches past the end of the buffer
  kBadAxisWidth,      // a position axis width of 0 or above 16
  kBadBackReference,  // an index refers before the block's list or below 0
  kIndexOutOfRange,   // an index names a vertex the stream never stored
};

std::string_view MeshDecodeErrorText(MeshDecodeError error);

// Decodes one geometry entry. `defaultBounds` (minX, maxX, minY, maxY, minZ,
// maxZ) serves streams without a header; `material` is what versions 4 and 5
// carry instead of an embedded one. Malformed input yields a mesh without
// geometry, with its materials as usual, and sets `*error` when given.
cxm::Mesh DecodeMesh(const uint8_t* data, size_t sizeInBytes, const float defaultBounds[6],
                     const ModelMaterial* material, MeshDecodeError* error = nullptr);

}  // namespace ovra
