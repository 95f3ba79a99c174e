#include "pack/source_scene.h"

#include <assimp/GltfMaterial.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ovra::tools::pack {

namespace {

namespace fs = std::filesystem;

constexpr unsigned kImportSteps = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals |
                                  aiProcess_SortByPType | aiProcess_PreTransformVertices |
                                  aiProcess_ValidateDataStructure;

// Alpha modes as the node document codes them.
constexpr int kAlphaOpaque = 0;
constexpr int kAlphaMask = 1;
constexpr int kAlphaBlend = 2;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return {};  // a directory would throw while reading
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

nlohmann::json Vec(std::initializer_list<float> values) {
  static const char* const kNames[] = {"x", "y", "z", "w"};
  nlohmann::json vector = nlohmann::json::object();
  size_t i = 0;
  for (float value : values) vector[kNames[i++]] = value;
  return vector;
}

// Physically based values where the source has them; classic materials are
// approximated (shininess to roughness, opacity to blended alpha).
nlohmann::json MaterialJson(const aiMaterial& material) {
  nlohmann::json json = nlohmann::json::object();
  aiColor4D base(1, 1, 1, 1);
  const bool hasBase = material.Get(AI_MATKEY_BASE_COLOR, base) == AI_SUCCESS ||
                       material.Get(AI_MATKEY_COLOR_DIFFUSE, base) == AI_SUCCESS;
  float opacity = 1.0f;
  const bool hasOpacity = material.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && opacity < 1.0f;
  if (hasBase || hasOpacity) json["albedo"] = Vec({base.r, base.g, base.b, hasOpacity ? opacity : base.a});

  float metalness = 0.0f;
  float roughness = 1.0f;
  if (material.Get(AI_MATKEY_METALLIC_FACTOR, metalness) != AI_SUCCESS) metalness = 0.0f;
  if (material.Get(AI_MATKEY_ROUGHNESS_FACTOR, roughness) != AI_SUCCESS) {
    float shininess = 0.0f;
    roughness = material.Get(AI_MATKEY_SHININESS, shininess) == AI_SUCCESS && shininess > 0.0f
                    ? std::sqrt(2.0f / (shininess + 2.0f))
                    : 1.0f;
  }
  json["metalness"] = metalness;
  json["roughness"] = roughness;

  float scale = 1.0f;
  if (material.Get(AI_MATKEY_GLTF_TEXTURE_SCALE(aiTextureType_NORMALS, 0), scale) == AI_SUCCESS) {
    json["normalScale"] = scale;
  }
  if (material.Get(AI_MATKEY_GLTF_TEXTURE_STRENGTH(aiTextureType_LIGHTMAP, 0), scale) == AI_SUCCESS) {
    json["occlusionScale"] = scale;
  }
  aiColor3D emissive(0, 0, 0);
  if (material.Get(AI_MATKEY_COLOR_EMISSIVE, emissive) == AI_SUCCESS) {
    json["emissiveScale"] = Vec({emissive.r, emissive.g, emissive.b});
  }
  float strength = 1.0f;
  if (material.Get(AI_MATKEY_EMISSIVE_INTENSITY, strength) == AI_SUCCESS) json["emissiveStrength"] = strength;

  aiString alphaMode;
  int mode = hasOpacity ? kAlphaBlend : kAlphaOpaque;
  if (material.Get(AI_MATKEY_GLTF_ALPHAMODE, alphaMode) == AI_SUCCESS) {
    const std::string name = alphaMode.C_Str();
    mode = name == "MASK" ? kAlphaMask : (name == "BLEND" ? kAlphaBlend : kAlphaOpaque);
  }
  json["alphaMode"] = mode;
  float cutoff = 0.5f;
  if (material.Get(AI_MATKEY_GLTF_ALPHACUTOFF, cutoff) == AI_SUCCESS) json["alphaCutoff"] = cutoff;
  int twoSided = 0;
  json["doubleSided"] = material.Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS && twoSided != 0;
  return json;
}

// Source texture types per slot, most specific first.
const std::vector<aiTextureType>& TypesOf(TextureSlot slot) {
  static const std::array<std::vector<aiTextureType>, kTextureSlots> kTypes = {{
      {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE},
      {aiTextureType_NORMALS},
      {aiTextureType_UNKNOWN, aiTextureType_METALNESS},
      {aiTextureType_LIGHTMAP, aiTextureType_AMBIENT_OCCLUSION},
      {aiTextureType_EMISSIVE},
  }};
  return kTypes[slot];
}

class SceneReader {
 public:
  explicit SceneReader(SourceScene& scene) : scene_(scene) {}

  void Read(const fs::path& input, size_t inputIndex) {
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene* source = importer.ReadFile(input.string(), kImportSteps);
    if (source == nullptr) {
      throw std::runtime_error("cannot read " + input.string() + ": " + importer.GetErrorString());
    }
    const size_t first = scene_.materials.size();
    for (unsigned i = 0; i < source->mNumMaterials; ++i) {
      scene_.materials.push_back(ReadMaterial(*source, *source->mMaterials[i], input, inputIndex, i));
    }
    for (unsigned i = 0; i < source->mNumMeshes; ++i) {
      const aiMesh& mesh = *source->mMeshes[i];
      if (mesh.mMaterialIndex < source->mNumMaterials) AppendMesh(mesh, scene_.materials[first + mesh.mMaterialIndex]);
    }
  }

  // What was dropped over all inputs, or nothing.
  std::string DroppedGeometry() const {
    if (report_.droppedVertices == 0) return {};
    return "dropped " + std::to_string(report_.droppedVertices) + " vertices with non-finite coordinates and the " +
           std::to_string(report_.droppedTriangles) + " triangles that use them";
  }

 private:
  SourceMaterial ReadMaterial(const aiScene& source, const aiMaterial& material, const fs::path& input,
                              size_t inputIndex, unsigned index) {
    SourceMaterial result;
    const std::string name = material.GetName().C_Str();
    result.name = (inputIndex > 0 ? std::to_string(inputIndex) + "/" : "") +
                  (name.empty() ? "material" + std::to_string(index) : name);
    result.json = MaterialJson(material);
    for (int slot = 0; slot < kTextureSlots; ++slot) {
      result.textures[static_cast<size_t>(slot)] =
          ImportTexture(source, material, static_cast<TextureSlot>(slot), input.parent_path());
    }
    return result;
  }

  std::string ImportTexture(const aiScene& source, const aiMaterial& material, TextureSlot slot,
                            const fs::path& directory) {
    aiString path;
    const auto& types = TypesOf(slot);
    auto found = std::find_if(types.begin(), types.end(), [&](aiTextureType type) {
      return material.GetTextureCount(type) > 0 && material.GetTexture(type, 0, &path) == AI_SUCCESS;
    });
    if (found == types.end()) return {};
    const std::string reference = path.C_Str();
    if (const aiTexture* embedded = source.GetEmbeddedTexture(reference.c_str())) {
      if (embedded->mHeight != 0) {
        scene_.warnings.push_back("skipped the uncompressed embedded texture " + reference);
        return {};
      }
      const auto* bytes = reinterpret_cast<const uint8_t*>(embedded->pcData);
      const std::string hint = embedded->achFormatHint;
      return Store("embedded" + std::to_string(embeddedCount_++) + "." + (hint.empty() ? "bin" : hint),
                   std::vector<uint8_t>(bytes, bytes + embedded->mWidth));
    }
    std::string relative = reference;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path file = directory / relative;
    std::vector<uint8_t> bytes = ReadFile(file);
    if (bytes.empty()) {
      scene_.warnings.push_back("cannot read texture " + file.string());
      return {};
    }
    return Store(file.filename().string(), std::move(bytes));
  }

  // Stores the texture once under a name derived from `base`; a different
  // image with the same file name gets a numbered name.
  std::string Store(const std::string& base, std::vector<uint8_t> bytes) {
    for (int attempt = 0;; ++attempt) {
      const std::string name = "textures/" + (attempt == 0 ? base : std::to_string(attempt) + "_" + base);
      auto [it, inserted] = scene_.textures.try_emplace(name, bytes);
      if (inserted || it->second == bytes) return name;
    }
  }

  // Vertices whose position is not finite are dropped with the triangles
  // that use them; other non-finite attributes fall back to defaults.
  void AppendMesh(const aiMesh& mesh, SourceMaterial& material) {
    PackMesh& geometry = material.geometry;
    const bool hasUvs = mesh.HasTextureCoords(0);
    const bool hasColors = mesh.HasVertexColors(0);
    material.hasUvs |= hasUvs;
    material.hasColors |= hasColors;
    constexpr uint32_t kDropped = UINT32_MAX;
    std::vector<uint32_t> remap(mesh.mNumVertices, kDropped);
    for (unsigned i = 0; i < mesh.mNumVertices; ++i) {
      PackVertex vertex{};
      vertex.position = {mesh.mVertices[i].x, mesh.mVertices[i].y, mesh.mVertices[i].z};
      if (!Finite({vertex.position.x, vertex.position.y, vertex.position.z})) {
        ++report_.droppedVertices;
        continue;
      }
      if (mesh.HasNormals()) vertex.normal = {mesh.mNormals[i].x, mesh.mNormals[i].y, mesh.mNormals[i].z};
      if (!Finite({vertex.normal.x, vertex.normal.y, vertex.normal.z})) vertex.normal = {};
      if (hasUvs) vertex.uv = {mesh.mTextureCoords[0][i].x, mesh.mTextureCoords[0][i].y};
      if (!Finite({vertex.uv.u, vertex.uv.v})) vertex.uv = {};
      vertex.color =
          hasColors ? cxm::Vec4f{mesh.mColors[0][i].r, mesh.mColors[0][i].g, mesh.mColors[0][i].b, mesh.mColors[0][i].a}
                    : cxm::Vec4f{1, 1, 1, 1};
      if (!Finite({vertex.color.x, vertex.color.y, vertex.color.z, vertex.color.w})) vertex.color = {1, 1, 1, 1};
      remap[i] = static_cast<uint32_t>(geometry.vertices.size());
      geometry.vertices.push_back(vertex);
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices != 3) continue;
      const uint32_t corners[3] = {remap[face.mIndices[0]], remap[face.mIndices[1]], remap[face.mIndices[2]]};
      if (std::find(std::begin(corners), std::end(corners), kDropped) != std::end(corners)) {
        ++report_.droppedTriangles;
        continue;
      }
      geometry.indices.insert(geometry.indices.end(), std::begin(corners), std::end(corners));
    }
  }

  static bool Finite(std::initializer_list<float> values) {
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
  }

  struct DroppedCounts {
    uint64_t droppedVertices = 0;
    uint64_t droppedTriangles = 0;
  };
  DroppedCounts report_;
  SourceScene& scene_;
  int embeddedCount_ = 0;
};

}  // namespace

SourceScene LoadSourceScenes(const std::vector<fs::path>& inputs) {
  SourceScene scene;
  SceneReader reader(scene);
  for (size_t i = 0; i < inputs.size(); ++i) reader.Read(inputs[i], i);
  const std::string dropped = reader.DroppedGeometry();
  if (!dropped.empty()) scene.warnings.push_back(dropped);
  std::erase_if(scene.materials, [](const SourceMaterial& material) { return material.geometry.indices.empty(); });
  if (scene.materials.empty()) {
    std::string names;
    for (const fs::path& input : inputs) names += (names.empty() ? "" : ", ") + input.string();
    throw std::runtime_error(names + ": no triangles to pack" + (dropped.empty() ? "" : " (" + dropped + ")"));
  }
  std::erase_if(scene.textures, [&scene](const auto& texture) {
    return std::none_of(scene.materials.begin(), scene.materials.end(), [&](const SourceMaterial& material) {
      return std::find(material.textures.begin(), material.textures.end(), texture.first) != material.textures.end();
    });
  });
  return scene;
}

}  // namespace ovra::tools::pack
