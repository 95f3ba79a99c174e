#include "content/octahedral_normal.h"

#include <cmath>
#include <memory>

namespace ovra {

namespace {

float SignOf(float v) { return v >= 0.0f ? 1.0f : -1.0f; }

std::unique_ptr<cxm::Vec3f[]> BuildTable() {
  auto table = std::make_unique<cxm::Vec3f[]>(256 * 256);
  for (int o1 = 0; o1 < 256; ++o1) {
    for (int o2 = 0; o2 < 256; ++o2) {
      table[o1 * 256 + o2] =
          ComputeOctahedralNormal(static_cast<uint8_t>(o1), static_cast<uint8_t>(o2));
    }
  }
  return table;
}

}  // namespace

cxm::Vec3f ComputeOctahedralNormal(uint8_t o1, uint8_t o2) {
  const float x = 2.0f * (static_cast<float>(o1) / 255.0f) - 1.0f;
  const float y = 2.0f * (static_cast<float>(o2) / 255.0f) - 1.0f;
  float fx = x;
  float fy = y;
  float z;
  if (std::fabs(x) + std::fabs(y) > 1.0f) {
    fx = (1.0f - std::fabs(y)) * SignOf(x);
    fy = (1.0f - std::fabs(x)) * SignOf(y);
    z = -(1.0f - std::fabs(fx) - std::fabs(fy));
  } else {
    z = 1.0f - std::fabs(x) - std::fabs(y);
  }
  const float length = std::sqrt(fx * fx + fy * fy + z * z);
  return {fx / length, fy / length, z / length};
}

const cxm::Vec3f& OctahedralNormal(uint8_t o1, uint8_t o2) {
  static const std::unique_ptr<cxm::Vec3f[]> table = BuildTable();
  return table[o1 * 256 + o2];
}

}  // namespace ovra
