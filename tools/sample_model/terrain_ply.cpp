#include "sample_model/terrain_ply.h"

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ovra::tools {

namespace {

constexpr float kHalfSize = 1000.0f;

float Height(float x, float y) {
  return 40.0f * std::sin(x * 0.004f) * std::cos(y * 0.003f) + 6.0f * std::sin(x * 0.05f + y * 0.03f);
}

template <typename T>
void Put(std::vector<char>& out, T value) {
  const auto* bytes = reinterpret_cast<const char*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

}  // namespace

void WriteTerrainPly(const std::filesystem::path& path, uint64_t triangles) {
  const auto cells = static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(triangles) / 2.0)));
  const uint32_t side = cells + 1;
  std::ofstream out(path, std::ios::binary);
  out << "ply\nformat binary_little_endian 1.0\nelement vertex " << uint64_t{side} * side
      << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << uint64_t{cells} * cells * 2
      << "\nproperty list uchar uint vertex_indices\nend_header\n";
  std::vector<char> buffer;
  const float step = 2.0f * kHalfSize / static_cast<float>(cells);
  for (uint32_t row = 0; row < side; ++row) {
    buffer.clear();
    for (uint32_t column = 0; column < side; ++column) {
      const float x = -kHalfSize + step * static_cast<float>(column);
      const float y = -kHalfSize + step * static_cast<float>(row);
      Put(buffer, x);
      Put(buffer, y);
      Put(buffer, Height(x, y));
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  }
  for (uint32_t row = 0; row < cells; ++row) {
    buffer.clear();
    for (uint32_t column = 0; column < cells; ++column) {
      const uint32_t corner = row * side + column;
      const uint32_t faces[2][3] = {{corner, corner + 1, corner + side},
                                    {corner + 1, corner + side + 1, corner + side}};
      for (const auto& face : faces) {
        Put(buffer, static_cast<uint8_t>(3));
        for (uint32_t index : face) Put(buffer, index);
      }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace ovra::tools
