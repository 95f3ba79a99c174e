#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "content/cxm_mesh.h"
#include "format/material.h"

namespace ovra::tools {

// Geometry to encode. Every per-vertex array is empty or holds one entry per
// position; normals need not be unit length (empty means +Z).
struct MeshToEncode {
  std::vector<cxm::Vec3f> positions;
  std::vector<cxm::Vec3f> normals;
  std::vector<std::vector<cxm::Vec2f>> uvSets;
  std::vector<cxm::Vec4f> colors;  // 0..1 per channel; version 5 only
  bool colorsHaveAlpha = false;
  std::vector<cxm::Vec3u> triangles;
};

struct MeshEncodeOptions {
  // -1 (no header: the decoder takes the box from the node) to 5.
  int version = 5;
  // Quantisation box minX, maxX, minY, maxY, minZ, maxZ; the positions' own
  // box when absent. A version -1 stream must be decoded with this box.
  std::optional<std::array<float, 6>> bounds;
  // Position bits per axis, 1 to 16; versions below 3 always use 11.
  std::array<uint32_t, 3> axisBits = {16, 16, 16};
  // Texture-coordinate offsets (versions 1 and above); derived from the
  // coordinates when absent.
  std::optional<float> uOffset;
  std::optional<float> vOffset;
  // Embedded in streams of versions below 4.
  ModelMaterial material;
  // Largest vertex and triangle count of one block.
  uint32_t maxBlockVertices = 65535;
  uint32_t maxBlockTriangles = 65535;
};

struct EncodedMesh {
  std::vector<uint8_t> bytes;
  // Decoded vertex i stands for input vertex vertexSource[i]: vertices are
  // stored in order of first use, unused ones dropped, and a vertex used again
  // too far back to refer to is stored once more.
  std::vector<uint32_t> vertexSource;
  // The quantisation box the stream uses.
  std::array<float, 6> bounds{};
};

// Writes the geometry stream. Throws std::invalid_argument for inconsistent
// input (array sizes, indices, version, axis widths).
EncodedMesh EncodeMesh(const MeshToEncode& mesh, const MeshEncodeOptions& options);

// The byte pair whose decoded normal lies nearest to `normal`.
std::array<uint8_t, 2> EncodeOctahedralNormal(cxm::Vec3f normal);

}  // namespace ovra::tools
