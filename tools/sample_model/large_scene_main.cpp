// Writes a large clean height field for packing tests and measurements.
//
// Usage: ovra_make_large_scene <out.ply> [triangles, default 5000000]
#include <cstdio>
#include <string>

#include "sample_model/terrain_ply.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <out.ply> [triangles]\n", argv[0]);
    return 2;
  }
  try {
    ovra::tools::WriteTerrainPly(argv[1], argc == 3 ? std::stoull(argv[2]) : 5000000);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
