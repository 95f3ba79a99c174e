#pragma once

#include <cstdint>

#include "content/cxm_mesh.h"

namespace ovra {

// The unit normal that two octahedral bytes stand for, computed in single
// precision exactly as the stream defines it.
cxm::Vec3f ComputeOctahedralNormal(uint8_t o1, uint8_t o2);

// The same, from a table of all 65,536 byte pairs built on first use: equal
// to ComputeOctahedralNormal bit for bit.
const cxm::Vec3f& OctahedralNormal(uint8_t o1, uint8_t o2);

}  // namespace ovra
