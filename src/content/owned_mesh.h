#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "content/cxm_mesh.h"
#include "format/material.h"
#include "format/model_node.h"
#include "ovra/render_mesh.h"
#include "tasks/task.h"

namespace ovra {

// The storage behind one render mesh: decoded geometry and the five texture
// slots (colour with alpha merged in, normal, metal-roughness, occlusion,
// emissive). Copies share the arrays.
struct OwnedMesh {
  cxm::Mesh mesh;
  std::array<cxm::Texture, 5> textures;
};

// A node's box as the geometry decoder takes it: minX, maxX, minY, maxY,
// minZ, maxZ.
using NodeBounds = std::array<float, 6>;
NodeBounds BoundsOf(const ModelNode& node);

// Resolves the level's material in `materials` (logging a name that is not
// there) and decodes the geometry. A malformed stream is logged with the
// geometry entry's name and yields no geometry.
cxm::Mesh DecodeLevelGeometry(const NodeBounds& bounds, const ModelNodeLevel& level, const MaterialTable* materials,
                              const std::vector<uint8_t>& bytes);

// The owned mesh from finished tasks: 0 geometry, 1 to 5 the texture slots.
// Throws "Failed to unpack task." for a missing or mistyped dependency.
OwnedMesh AssembleOwnedMesh(const ConstTaskList& dependencies);

// The record handed to the renderer; it points into `owned`, which must
// outlive it.
std::unique_ptr<Mesh> BuildRenderMesh(const OwnedMesh& owned);

// Material `index` of the mesh, or a shared default material.
const ModelMaterial& MaterialAt(const cxm::Mesh& mesh, size_t index);

}  // namespace ovra
