#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "pack/source_scene.h"

namespace ovra::tools::pack {

struct PackOptions {
  // A node whose content has more triangles is split in space.
  size_t leafTriangles = 20000;
  // Position bits per axis of the geometry streams.
  uint32_t axisBits = 16;
};

struct PackStats {
  size_t nodes = 0;   // without the root
  size_t levels = 0;  // over all nodes
  // Coarser levels of meshes whose borders could not be kept (see PackScene).
  size_t levelsWithoutLockedBorders = 0;
  std::vector<uint64_t> levelZeroTrianglesPerDepth;  // index 0 is the root's children
  uint64_t geometryBytes = 0;
  uint64_t textureBytes = 0;
};

struct PackedModel {
  std::vector<uint8_t> file;
  PackStats stats;
};

// Called with the triangles handled so far and the total.
using PackProgress = std::function<void(uint64_t done, uint64_t total)>;

// Builds the level-of-detail tree of `scene` and writes it as a tzm file.
// Per material, the triangles are split in space into a tree of up to four
// children per node until a node holds at most `leafTriangles`; a leaf's
// level 0 is its own triangles, an inner node's level 0 the welded merge of
// its children's level 1; levels 1 to 3 each simplify the one before to
// about a quarter, with open borders locked so neighbours keep meeting; a
// mesh too broken for that (edges that do not pair up) is simplified without
// regard to its borders.
// The same scene and options always give the same bytes.
PackedModel PackScene(const SourceScene& scene, const PackOptions& options, const PackProgress& progress);

}  // namespace ovra::tools::pack
