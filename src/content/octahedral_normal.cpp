#include "content/octahedral_normal.h"

#include <cstring>

namespace ovra {

namespace {

#if defined(__SSE2__)

// 2 * (b / 255) - 1 for both bytes of four codes, the table's arithmetic in
// lanes.
void SignedUnits(const uint16_t* codes, __m128& first, __m128& second) {
  const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(codes));
  const __m128i wide = _mm_unpacklo_epi16(packed, _mm_setzero_si128());
  auto unit = [](__m128i bytes) {
    const __m128 fraction = _mm_div_ps(_mm_cvtepi32_ps(bytes), _mm_set1_ps(255.0f));
    return _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(2.0f), fraction), _mm_set1_ps(1.0f));
  };
  first = unit(_mm_srli_epi32(wide, 8));
  second = unit(_mm_and_si128(wide, _mm_set1_epi32(0xFF)));
}

__m128 Select(__m128 mask, __m128 whenSet, __m128 otherwise) {
  return _mm_or_ps(_mm_and_ps(mask, whenSet), _mm_andnot_ps(mask, otherwise));
}

// +1 where v >= 0, else -1.
__m128 SignOf(__m128 v) { return Select(_mm_cmpge_ps(v, _mm_setzero_ps()), _mm_set1_ps(1.0f), _mm_set1_ps(-1.0f)); }

// The same operations in the same order as ComputeOctahedralNormal, lane by
// lane; each lane's IEEE result equals the scalar one.
void ComputeFourNormals(const uint16_t* codes, cxm::Vec3f* normals) {
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 one = _mm_set1_ps(1.0f);
  __m128 x;
  __m128 y;
  SignedUnits(codes, x, y);
  const __m128 ax = _mm_and_ps(x, absMask);
  const __m128 ay = _mm_and_ps(y, absMask);
  const __m128 folded = _mm_cmpgt_ps(_mm_add_ps(ax, ay), one);
  const __m128 foldedX = _mm_mul_ps(_mm_sub_ps(one, ay), SignOf(x));
  const __m128 foldedY = _mm_mul_ps(_mm_sub_ps(one, ax), SignOf(y));
  const __m128 foldedZ = _mm_xor_ps(
      _mm_sub_ps(_mm_sub_ps(one, _mm_and_ps(foldedX, absMask)), _mm_and_ps(foldedY, absMask)), _mm_set1_ps(-0.0f));
  const __m128 fx = Select(folded, foldedX, x);
  const __m128 fy = Select(folded, foldedY, y);
  const __m128 z = Select(folded, foldedZ, _mm_sub_ps(_mm_sub_ps(one, ax), ay));
  const __m128 length = _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(fx, fx), _mm_mul_ps(fy, fy)), _mm_mul_ps(z, z)));
  const __m128 nx = _mm_div_ps(fx, length);
  const __m128 ny = _mm_div_ps(fy, length);
  const __m128 nz = _mm_div_ps(z, length);
  // Lanes are vertices; the output interleaves x, y, z: three vectors of
  // x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3.
  const __m128 xyLow = _mm_unpacklo_ps(nx, ny);
  const __m128 xyHigh = _mm_unpackhi_ps(nx, ny);
  const __m128 out[3] = {
      _mm_shuffle_ps(xyLow, _mm_shuffle_ps(nz, nx, _MM_SHUFFLE(1, 1, 0, 0)), _MM_SHUFFLE(2, 0, 1, 0)),
      _mm_shuffle_ps(_mm_shuffle_ps(ny, nz, _MM_SHUFFLE(1, 1, 1, 1)), xyHigh, _MM_SHUFFLE(1, 0, 2, 0)),
      _mm_shuffle_ps(_mm_shuffle_ps(nz, nx, _MM_SHUFFLE(3, 3, 2, 2)), _mm_shuffle_ps(ny, nz, _MM_SHUFFLE(3, 3, 3, 3)),
                     _MM_SHUFFLE(2, 0, 2, 0))};
  static_assert(sizeof(cxm::Vec3f) == 3 * sizeof(float), "normals are packed floats");
  std::memcpy(normals, out, sizeof out);
}

#endif

}  // namespace

void ComputeOctahedralNormals(const uint16_t* codes, size_t count, cxm::Vec3f* normals) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= count; i += 4) ComputeFourNormals(codes + i, normals + i);
#endif
  for (; i < count; ++i) {
    normals[i] = ComputeOctahedralNormal(static_cast<uint8_t>(codes[i] >> 8), static_cast<uint8_t>(codes[i]));
  }
}

}  // namespace ovra
