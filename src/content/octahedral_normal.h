#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "content/cxm_mesh.h"

namespace ovra {

namespace octahedral_detail {

// 2 * (b / 255) - 1 for every byte b, rounded exactly as computed in floats.
inline constexpr std::array<float, 256> kSignedUnit = [] {
  std::array<float, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = 2.0f * (static_cast<float>(b) / 255.0f) - 1.0f;
  return table;
}();

}  // namespace octahedral_detail

// The unit normal that two octahedral bytes stand for, computed in single
// precision exactly as the stream defines it (the divisions included, so the
// result is bit-identical to the definition). Inline: it sits in the
// decoder's vertex loop, and a 65,536-entry table would miss the cache.
inline cxm::Vec3f ComputeOctahedralNormal(uint8_t o1, uint8_t o2) {
  const float x = octahedral_detail::kSignedUnit[o1];
  const float y = octahedral_detail::kSignedUnit[o2];
  const float ax = std::fabs(x);
  const float ay = std::fabs(y);
  float fx = x;
  float fy = y;
  float z = 1.0f - ax - ay;
  if (ax + ay > 1.0f) {
    fx = (1.0f - ay) * (x >= 0.0f ? 1.0f : -1.0f);
    fy = (1.0f - ax) * (y >= 0.0f ? 1.0f : -1.0f);
    z = -(1.0f - std::fabs(fx) - std::fabs(fy));
  }
  const float length = std::sqrt(fx * fx + fy * fy + z * z);
#if defined(__SSE2__)
  // One packed division: each lane is the same IEEE division as the scalar
  // one, so the result is bit-identical.
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, _mm_div_ps(_mm_setr_ps(fx, fy, z, 1.0f), _mm_set1_ps(length)));
  return {lanes[0], lanes[1], lanes[2]};
#else
  return {fx / length, fy / length, z / length};
#endif
}

// The normals of `count` vertices from their octahedral byte pairs, each
// packed as (o1 << 8) | o2; bit-identical to ComputeOctahedralNormal. Four at
// a time where SSE2 is there: the square root and the division are long
// chains, and a batch runs them side by side instead of one vertex after the
// other, without a branch on the hemisphere.
void ComputeOctahedralNormals(const uint16_t* codes, size_t count, cxm::Vec3f* normals);

}  // namespace ovra
