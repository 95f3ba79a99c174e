#include "bench_meshes.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <meshoptimizer.h>

#include <assimp/Importer.hpp>
#include <cmath>

namespace ovra::bench {

tools::MeshToEncode GeneratedSurface(size_t triangles) {
  const auto side = static_cast<uint32_t>(std::sqrt(static_cast<double>(triangles) / 2.0)) + 1;
  tools::MeshToEncode mesh;
  mesh.uvSets.resize(1);
  for (uint32_t row = 0; row < side; ++row) {
    for (uint32_t column = 0; column < side; ++column) {
      const float x = static_cast<float>(column) * 0.1f;
      const float y = static_cast<float>(row) * 0.1f;
      const float height = std::sin(x) * std::cos(y * 0.7f) * 3.0f;
      const float dx = std::cos(x) * std::cos(y * 0.7f) * 3.0f;
      const float dy = -std::sin(x) * std::sin(y * 0.7f) * 2.1f;
      mesh.positions.push_back({x, y, height});
      mesh.normals.push_back({-dx, -dy, 1.0f});
      mesh.uvSets[0].push_back(
          {static_cast<float>(column) / static_cast<float>(side), static_cast<float>(row) / static_cast<float>(side)});
    }
  }
  for (uint32_t row = 0; row + 1 < side; ++row) {
    for (uint32_t column = 0; column + 1 < side; ++column) {
      const uint32_t corner = row * side + column;
      mesh.triangles.push_back({corner, corner + 1, corner + side});
      mesh.triangles.push_back({corner + 1, corner + side + 1, corner + side});
    }
  }
  return mesh;
}

tools::MeshToEncode LoadModel(const std::string& path) {
  Assimp::Importer importer;
  const aiScene* scene =
      importer.ReadFile(path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_PreTransformVertices |
                                  aiProcess_GenSmoothNormals | aiProcess_GenUVCoords | aiProcess_SortByPType);
  tools::MeshToEncode mesh;
  if (scene == nullptr) return mesh;
  mesh.uvSets.resize(1);
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh& source = *scene->mMeshes[m];
    if (!(source.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
    const auto base = static_cast<uint32_t>(mesh.positions.size());
    for (unsigned v = 0; v < source.mNumVertices; ++v) {
      const aiVector3D& p = source.mVertices[v];
      const aiVector3D n = source.mNormals ? source.mNormals[v] : aiVector3D(0, 0, 1);
      const aiVector3D t = source.mTextureCoords[0] ? source.mTextureCoords[0][v] : aiVector3D(0, 0, 0);
      mesh.positions.push_back({p.x, p.y, p.z});
      mesh.normals.push_back({n.x, n.y, n.z});
      mesh.uvSets[0].push_back({t.x, t.y});
    }
    for (unsigned f = 0; f < source.mNumFaces; ++f) {
      const aiFace& face = source.mFaces[f];
      if (face.mNumIndices != 3) continue;
      mesh.triangles.push_back({base + face.mIndices[0], base + face.mIndices[1], base + face.mIndices[2]});
    }
  }
  return mesh;
}

void OptimizeForRendering(tools::MeshToEncode& mesh) {
  auto* indices = reinterpret_cast<unsigned int*>(mesh.triangles.data());
  const size_t indexCount = mesh.triangles.size() * 3;
  meshopt_optimizeVertexCache(indices, indices, indexCount, mesh.positions.size());
  std::vector<unsigned int> remap(mesh.positions.size());
  const size_t used = meshopt_optimizeVertexFetchRemap(remap.data(), indices, indexCount, mesh.positions.size());
  meshopt_remapIndexBuffer(indices, indices, indexCount, remap.data());
  auto reorder = [&](auto& values) {
    auto copy = values;
    values.resize(used);
    for (size_t i = 0; i < copy.size(); ++i) {
      if (remap[i] != ~0u) values[remap[i]] = copy[i];
    }
  };
  reorder(mesh.positions);
  reorder(mesh.normals);
  for (auto& set : mesh.uvSets) reorder(set);
}

}  // namespace ovra::bench
