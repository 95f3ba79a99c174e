#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "content/cxm_mesh.h"

namespace ovra::tools::pack {

struct PackVertex {
  cxm::Vec3f position;
  cxm::Vec3f normal;
  cxm::Vec2f uv;
  cxm::Vec4f color;
};

// Triangles over shared vertices.
struct PackMesh {
  std::vector<PackVertex> vertices;
  std::vector<uint32_t> indices;

  size_t TriangleCount() const { return indices.size() / 3; }
};

// Texture slots a level names, in the order of this array.
enum TextureSlot { kColor, kNormal, kMetalRoughness, kOcclusion, kEmissive, kTextureSlots };

// Everything of the input drawn with one material, in world space.
struct SourceMaterial {
  std::string name;
  nlohmann::json json;                              // the material object of the node document
  std::array<std::string, kTextureSlots> textures;  // container entry names, empty for none
  PackMesh geometry;
  bool hasUvs = false;
  bool hasColors = false;
};

struct SourceScene {
  std::vector<SourceMaterial> materials;                 // only materials with triangles
  std::map<std::string, std::vector<uint8_t>> textures;  // by container entry name
  std::vector<std::string> warnings;
};

// Reads every input with assimp, bakes node transforms into the vertices and
// groups the triangles by material. Throws std::runtime_error naming the file
// when one cannot be read or none holds a triangle.
SourceScene LoadSourceScenes(const std::vector<std::filesystem::path>& inputs);

}  // namespace ovra::tools::pack
