#include "content/octahedral_normal.h"

namespace ovra {

namespace {

#if defined(__SSE2__)

// Four byte-pair codes' signed units for one byte of each.
__m128 SignedUnits(const uint16_t* codes, int shift) {
  const auto& unit = octahedral_detail::kSignedUnit;
  return _mm_setr_ps(unit[(codes[0] >> shift) & 0xFF], unit[(codes[1] >> shift) & 0xFF],
                     unit[(codes[2] >> shift) & 0xFF], unit[(codes[3] >> shift) & 0xFF]);
}

__m128 Select(__m128 mask, __m128 whenSet, __m128 otherwise) {
  return _mm_or_ps(_mm_and_ps(mask, whenSet), _mm_andnot_ps(mask, otherwise));
}

// +1 where v >= 0, else -1.
__m128 SignOf(__m128 v) {
  return Select(_mm_cmpge_ps(v, _mm_setzero_ps()), _mm_set1_ps(1.0f), _mm_set1_ps(-1.0f));
}

// The same operations in the same order as ComputeOctahedralNormal, lane by
// lane; each lane's IEEE result equals the scalar one.
void ComputeFourNormals(const uint16_t* codes, cxm::Vec3f* normals) {
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 x = SignedUnits(codes, 8);
  const __m128 y = SignedUnits(codes, 0);
  const __m128 ax = _mm_and_ps(x, absMask);
  const __m128 ay = _mm_and_ps(y, absMask);
  const __m128 folded = _mm_cmpgt_ps(_mm_add_ps(ax, ay), one);
  const __m128 foldedX = _mm_mul_ps(_mm_sub_ps(one, ay), SignOf(x));
  const __m128 foldedY = _mm_mul_ps(_mm_sub_ps(one, ax), SignOf(y));
  const __m128 foldedZ = _mm_xor_ps(
      _mm_sub_ps(_mm_sub_ps(one, _mm_and_ps(foldedX, absMask)), _mm_and_ps(foldedY, absMask)),
      _mm_set1_ps(-0.0f));
  const __m128 fx = Select(folded, foldedX, x);
  const __m128 fy = Select(folded, foldedY, y);
  const __m128 z = Select(folded, foldedZ, _mm_sub_ps(_mm_sub_ps(one, ax), ay));
  const __m128 length =
      _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(fx, fx), _mm_mul_ps(fy, fy)), _mm_mul_ps(z, z)));
  __m128 nx = _mm_div_ps(fx, length);
  __m128 ny = _mm_div_ps(fy, length);
  __m128 nz = _mm_div_ps(z, length);
  // Lanes are vertices; the output interleaves x, y, z.
  __m128 nw = _mm_setzero_ps();
  _MM_TRANSPOSE4_PS(nx, ny, nz, nw);
  alignas(16) float rows[16];
  _mm_store_ps(rows, nx);
  _mm_store_ps(rows + 4, ny);
  _mm_store_ps(rows + 8, nz);
  _mm_store_ps(rows + 12, nw);
  for (int i = 0; i < 4; ++i) normals[i] = {rows[4 * i], rows[4 * i + 1], rows[4 * i + 2]};
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
