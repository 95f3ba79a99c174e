#pragma once

#include <string>

#include "mesh_encoder/mesh_encoder.h"

namespace ovra::bench {

// A heightfield surface of about `triangles` triangles with normals and one
// texture-coordinate set.
tools::MeshToEncode GeneratedSurface(size_t triangles);

// All meshes of a model file merged into one, read with assimp; empty when
// the file cannot be read.
tools::MeshToEncode LoadModel(const std::string& path);

// Reorders triangles and vertices for the post-transform cache and fetch
// locality, as a packer would before encoding.
void OptimizeForRendering(tools::MeshToEncode& mesh);

}  // namespace ovra::bench
