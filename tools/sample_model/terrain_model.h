#pragma once

#include <cstdint>
#include <vector>

namespace ovra::tools {

struct TerrainOptions {
  // Depth of the tile quadtree below the root: 4^depth tiles at the bottom.
  int depth = 2;
  // Grid cells per side of a tile's finest level; each coarser level of the
  // three halves them.
  int finestCells = 32;
  // Colour, normal and metal-roughness maps per tile.
  bool textures = true;
};

// A level-of-detail terrain over [-64, 64] x [-64, 64]: a quadtree of tiles,
// each with three levels of a height field, as a tzm file.
std::vector<uint8_t> WriteTerrainModel(const TerrainOptions& options);

}  // namespace ovra::tools
