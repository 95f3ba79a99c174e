#include "content/owned_mesh.h"

#include <cstring>
#include <string>

#include "content/mesh_decoder.h"
#include "ovra/logging.h"

namespace ovra {

namespace {

constexpr size_t kMaxRenderUvSets = 4;

template <typename T>
void PointAt(const cxm::SharedArray<T>& array, const float*& data, uint64_t& byteSize) {
  data = array->empty() ? nullptr : reinterpret_cast<const float*>(array->data());
  byteSize = array->size() * sizeof(T);
}

void FillTexture(const cxm::Texture& source, Texture& target) {
  target.data = source.pixels->empty() ? nullptr : source.pixels->data();
  target.byteSize = source.byteSize;
  target.width = static_cast<uint16_t>(source.width);
  target.height = static_cast<uint16_t>(source.height);
  target.format = source.format;
  target.components = TextureFormatComponents(source.format);
  target.reserved = 0;
}

void FillMaterial(const cxm::Mesh& mesh, Mesh& target) {
  if (mesh.materials.empty()) return;
  const ModelMaterial& m = mesh.materials.front();
  target.baseColor[0] = m.albedo.x;
  target.baseColor[1] = m.albedo.y;
  target.baseColor[2] = m.albedo.z;
  target.baseColor[3] = m.albedo.w;
  target.normalScale = m.normalScale;
  target.occlusionScale = m.occlusionScale;
  target.roughness = m.roughness;
  target.metalness = m.metalness;
  target.emissive[0] = m.emissiveScale.x;
  target.emissive[1] = m.emissiveScale.y;
  target.emissive[2] = m.emissiveScale.z;
  target.alphaMode = m.alphaMode;
  for (const ModelMaterial& material : mesh.materials) {
    if (material.doubleSided) {
      target.doubleSided = 1;
      break;
    }
  }
}

}  // namespace

NodeBounds BoundsOf(const ModelNode& node) {
  return {node.minX, node.maxX, node.minY, node.maxY, node.minZ, node.maxZ};
}

cxm::Mesh DecodeLevelGeometry(const NodeBounds& bounds, const ModelNodeLevel& level, const MaterialTable* materials,
                              const std::vector<uint8_t>& bytes) {
  const ModelMaterial* material = nullptr;
  if (!level.material.empty()) {
    material = materials != nullptr ? GetMaterial(*materials, level.material) : nullptr;
    if (material == nullptr) {
      Log::Error("Unable to get referenced material " + level.material + " for mesh");
    }
  }
  MeshDecodeError error = MeshDecodeError::kNone;
  cxm::Mesh mesh = DecodeMesh(bytes.data(), bytes.size(), bounds.data(), material, &error);
  if (error != MeshDecodeError::kNone) {
    Log::Error("Could not decode geometry " + level.geometry + ": " + std::string(MeshDecodeErrorText(error)) +
               "; the level shows no geometry.");
  }
  return mesh;
}

OwnedMesh AssembleOwnedMesh(const ConstTaskList& dependencies) {
  OwnedMesh owned;
  owned.mesh = UnpackResult<cxm::Mesh>(dependencies, 0);
  for (size_t slot = 0; slot < owned.textures.size(); ++slot) {
    owned.textures[slot] = UnpackResult<cxm::Texture>(dependencies, slot + 1);
  }
  return owned;
}

std::unique_ptr<Mesh> BuildRenderMesh(const OwnedMesh& owned) {
  auto mesh = std::make_unique<Mesh>();
  std::memset(static_cast<void*>(mesh.get()), 0, sizeof(Mesh));
  const cxm::Mesh& source = owned.mesh;
  PointAt(source.positions, mesh->positions, mesh->positionsByteSize);
  PointAt(source.normals, mesh->normals, mesh->normalsByteSize);
  mesh->indices = source.triangles->empty() ? nullptr : reinterpret_cast<const uint32_t*>(source.triangles->data());
  mesh->indicesByteSize = source.triangles->size() * sizeof(cxm::Vec3u);
  std::pair<const float*&, uint64_t&> texCoords[kMaxRenderUvSets] = {{mesh->texCoords0, mesh->texCoords0ByteSize},
                                                                     {mesh->texCoords1, mesh->texCoords1ByteSize},
                                                                     {mesh->texCoords2, mesh->texCoords2ByteSize},
                                                                     {mesh->texCoords3, mesh->texCoords3ByteSize}};
  for (size_t k = 0; k < kMaxRenderUvSets && k < source.uvSets->size(); ++k) {
    const std::vector<cxm::Vec2f>& set = (*source.uvSets)[k];
    texCoords[k].first = set.empty() ? nullptr : reinterpret_cast<const float*>(set.data());
    texCoords[k].second = set.size() * sizeof(cxm::Vec2f);
  }
  Texture* slots[5] = {&mesh->colorTexture, &mesh->normalTexture, &mesh->metalRoughnessTexture, &mesh->occlusionTexture,
                       &mesh->emissiveTexture};
  for (size_t slot = 0; slot < 5; ++slot) FillTexture(owned.textures[slot], *slots[slot]);
  FillMaterial(source, *mesh);
  return mesh;
}

const ModelMaterial& MaterialAt(const cxm::Mesh& mesh, size_t index) {
  static const ModelMaterial kDefault;
  return index < mesh.materials.size() ? mesh.materials[index] : kDefault;
}

}  // namespace ovra
