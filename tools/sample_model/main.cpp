// Writes the sample terrain model.
//
// Usage: ovra_make_sample_model <out.tzm> [depth]
#include <cstdio>
#include <fstream>
#include <string>

#include "sample_model/terrain_model.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <out.tzm> [depth]\n", argv[0]);
    return 2;
  }
  ovra::tools::TerrainOptions options;
  if (argc == 3) options.depth = std::stoi(argv[2]);
  const std::vector<uint8_t> file = ovra::tools::WriteTerrainModel(options);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("wrote %s: %zu bytes\n", argv[1], file.size());
  return 0;
}
