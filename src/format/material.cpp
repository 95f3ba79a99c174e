#include "format/material.h"

#include <nlohmann/json.hpp>

#include "format/json_readers.h"

namespace ovra {

namespace {

template <typename T>
struct Field {
  const char* key;
  T ModelMaterial::*member;
};

using M = ModelMaterial;

constexpr Field<float> kFloatFields[] = {
    {"metalness", &M::metalness},
    {"roughness", &M::roughness},
    {"normalScale", &M::normalScale},
    {"occlusionScale", &M::occlusionScale},
    {"ior", &M::ior},
    {"transmission", &M::transmission},
    {"thickness", &M::thickness},
    {"attenuationDistance", &M::attenuationDistance},
    {"clearcoat", &M::clearcoat},
    {"clearcoatRoughness", &M::clearcoatRoughness},
    {"clearcoatNormalScale", &M::clearcoatNormalScale},
    {"emissiveStrength", &M::emissiveStrength},
    {"dispersion", &M::dispersion},
    {"sheenRoughness", &M::sheenRoughness},
    {"specular", &M::specular},
    {"glossiness", &M::glossiness},
    {"alphaCutoff", &M::alphaCutoff},
};

constexpr Field<bool> kBoolFields[] = {
    {"lightMapRGBM", &M::lightMapRGBM}, {"useTransmission", &M::useTransmission},
    {"useVolume", &M::useVolume},       {"useSheen", &M::useSheen},
    {"useSpecular", &M::useSpecular},   {"usePbrMR", &M::usePbrMR},
    {"doubleSided", &M::doubleSided},   {"unlit", &M::unlit},
};

constexpr Field<Vec3> kVec3Fields[] = {
    {"emissiveScale", &M::emissiveScale},
    {"attenuationColor", &M::attenuationColor},
    {"sheenColorFactor", &M::sheenColorFactor},
    {"specularColor", &M::specularColor},
};

constexpr Field<Vec4> kVec4Fields[] = {
    {"albedo", &M::albedo},
    {"diffuseColor", &M::diffuseColor},
};

// The four fields of one texture reference group.
#define OVRA_TEXTURE_GROUP(prefix)                                                                          \
  {                                                                                                         \
#prefix "Map", &M::prefix##Map, #prefix "Uvs", &M::prefix##Uvs, #prefix "UvScale", &M::prefix##UvScale, \
        #prefix "UvOffset", &M::prefix##UvOffset                                                            \
  }

struct TextureGroup {
  const char* mapKey;
  int32_t M::*map;
  const char* uvsKey;
  int32_t M::*uvs;
  const char* uvScaleKey;
  Vec2 M::*uvScale;
  const char* uvOffsetKey;
  Vec2 M::*uvOffset;
};

constexpr TextureGroup kTextureGroups[] = {
    OVRA_TEXTURE_GROUP(metalRoughness),
    OVRA_TEXTURE_GROUP(albedo),
    OVRA_TEXTURE_GROUP(normal),
    OVRA_TEXTURE_GROUP(occlusion),
    OVRA_TEXTURE_GROUP(emissive),
    OVRA_TEXTURE_GROUP(light),
    OVRA_TEXTURE_GROUP(transmission),
    OVRA_TEXTURE_GROUP(thickness),
    OVRA_TEXTURE_GROUP(clearcoat),
    OVRA_TEXTURE_GROUP(clearcoatRoughness),
    OVRA_TEXTURE_GROUP(clearcoatNormal),
    OVRA_TEXTURE_GROUP(sheen),
    OVRA_TEXTURE_GROUP(sheenRoughness),
    OVRA_TEXTURE_GROUP(specular),
    OVRA_TEXTURE_GROUP(specularColor),
    OVRA_TEXTURE_GROUP(diffuse),
    OVRA_TEXTURE_GROUP(specularGlossiness),
};

#undef OVRA_TEXTURE_GROUP

template <typename T, typename Reader>
void ReadMember(const nlohmann::json& object, const char* key, T M::*member, Reader read, ModelMaterial& material) {
  const auto it = object.find(key);
  if (it != object.end()) material.*member = read(*it);
}

template <typename T, size_t N, typename Reader>
void ReadFields(const nlohmann::json& object, const Field<T> (&fields)[N], Reader read, ModelMaterial& material) {
  for (const Field<T>& field : fields) ReadMember(object, field.key, field.member, read, material);
}

}  // namespace

void ReadMaterial(const nlohmann::json& json, ModelMaterial& material) {
  if (!json.is_object()) return;
  ReadFields(json, kFloatFields, ReadFloat, material);
  ReadFields(json, kBoolFields, ReadBool, material);
  ReadFields(json, kVec3Fields, ReadVec3, material);
  ReadFields(json, kVec4Fields, ReadVec4, material);
  for (const TextureGroup& group : kTextureGroups) {
    ReadMember(json, group.mapKey, group.map, ReadInt32, material);
    ReadMember(json, group.uvsKey, group.uvs, ReadInt32, material);
    ReadMember(json, group.uvScaleKey, group.uvScale, ReadVec2, material);
    ReadMember(json, group.uvOffsetKey, group.uvOffset, ReadVec2, material);
  }
  ReadMember(json, "alphaMode", &M::alphaMode, ReadUint8, material);
}

const ModelMaterial* GetMaterial(const MaterialTable& materials, std::string_view name) {
  const auto it = materials.find(name);
  return it == materials.end() ? nullptr : it->second.get();
}

}  // namespace ovra
