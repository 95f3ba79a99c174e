#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "ovra/records.h"

namespace ovra {

// A physically based material in the metallic-roughness model with its
// extensions. Every field is named after its JSON key. A texture reference
// group P is four fields: PMap (texture index, -1 none), PUvs (coordinate
// set, -1 not given), PUvScale and PUvOffset.
struct ModelMaterial {
  float metalness = 1.0f;
  float roughness = 1.0f;
  int32_t metalRoughnessMap = -1;
  int32_t metalRoughnessUvs = -1;
  Vec2 metalRoughnessUvScale{1.0f, 1.0f};
  Vec2 metalRoughnessUvOffset{};

  Vec4 albedo{1.0f, 1.0f, 1.0f, 1.0f};
  int32_t albedoMap = -1;
  int32_t albedoUvs = -1;
  Vec2 albedoUvScale{1.0f, 1.0f};
  Vec2 albedoUvOffset{};

  float normalScale = 1.0f;
  int32_t normalMap = -1;
  int32_t normalUvs = -1;
  Vec2 normalUvScale{1.0f, 1.0f};
  Vec2 normalUvOffset{};

  float occlusionScale = 1.0f;
  int32_t occlusionMap = -1;
  int32_t occlusionUvs = -1;
  Vec2 occlusionUvScale{1.0f, 1.0f};
  Vec2 occlusionUvOffset{};

  Vec3 emissiveScale{};
  int32_t emissiveMap = -1;
  int32_t emissiveUvs = -1;
  Vec2 emissiveUvScale{1.0f, 1.0f};
  Vec2 emissiveUvOffset{};

  int32_t lightMap = -1;
  int32_t lightUvs = -1;
  bool lightMapRGBM = false;
  Vec2 lightUvScale{1.0f, 1.0f};
  Vec2 lightUvOffset{};

  float ior = 1.5f;
  bool useTransmission = false;
  float transmission = 0.0f;
  int32_t transmissionMap = -1;
  int32_t transmissionUvs = -1;
  Vec2 transmissionUvScale{1.0f, 1.0f};
  Vec2 transmissionUvOffset{};

  bool useVolume = false;
  float thickness = 0.0f;
  int32_t thicknessMap = -1;
  int32_t thicknessUvs = -1;
  Vec2 thicknessUvScale{1.0f, 1.0f};
  Vec2 thicknessUvOffset{};
  Vec3 attenuationColor{1.0f, 1.0f, 1.0f};
  float attenuationDistance = std::numeric_limits<float>::infinity();

  float clearcoat = 0.0f;
  int32_t clearcoatMap = -1;
  int32_t clearcoatUvs = -1;
  Vec2 clearcoatUvScale{1.0f, 1.0f};
  Vec2 clearcoatUvOffset{};
  float clearcoatRoughness = 0.0f;
  int32_t clearcoatRoughnessMap = -1;
  int32_t clearcoatRoughnessUvs = -1;
  Vec2 clearcoatRoughnessUvScale{1.0f, 1.0f};
  Vec2 clearcoatRoughnessUvOffset{};
  int32_t clearcoatNormalMap = -1;
  int32_t clearcoatNormalUvs = -1;
  Vec2 clearcoatNormalUvScale{1.0f, 1.0f};
  Vec2 clearcoatNormalUvOffset{};
  float clearcoatNormalScale = 1.0f;

  float emissiveStrength = 1.0f;
  float dispersion = 0.0f;

  bool useSheen = false;
  Vec3 sheenColorFactor{};
  int32_t sheenMap = -1;
  int32_t sheenUvs = -1;
  Vec2 sheenUvScale{1.0f, 1.0f};
  Vec2 sheenUvOffset{};
  float sheenRoughness = 1.0f;
  int32_t sheenRoughnessMap = -1;
  int32_t sheenRoughnessUvs = -1;
  Vec2 sheenRoughnessUvScale{1.0f, 1.0f};
  Vec2 sheenRoughnessUvOffset{};

  bool useSpecular = false;
  float specular = 1.0f;
  int32_t specularMap = -1;
  int32_t specularUvs = -1;
  Vec2 specularUvScale{1.0f, 1.0f};
  Vec2 specularUvOffset{};
  Vec3 specularColor{1.0f, 1.0f, 1.0f};
  int32_t specularColorMap = -1;
  int32_t specularColorUvs = -1;
  Vec2 specularColorUvScale{1.0f, 1.0f};
  Vec2 specularColorUvOffset{};

  bool usePbrMR = true;
  Vec4 diffuseColor{1.0f, 1.0f, 1.0f, 1.0f};
  int32_t diffuseMap = -1;
  int32_t diffuseUvs = -1;
  Vec2 diffuseUvScale{1.0f, 1.0f};
  Vec2 diffuseUvOffset{};
  float glossiness = 1.0f;
  int32_t specularGlossinessMap = -1;
  int32_t specularGlossinessUvs = -1;
  Vec2 specularGlossinessUvScale{1.0f, 1.0f};
  Vec2 specularGlossinessUvOffset{};

  uint8_t alphaMode = 0;
  float alphaCutoff = 0.5f;
  bool doubleSided = false;
  bool unlit = false;
};

// Materials of a model, by name.
using MaterialTable = std::map<std::string, std::unique_ptr<ModelMaterial>, std::less<>>;

// Fills `material` (holding the defaults) from one JSON value; a value that is
// not an object leaves the defaults. Type errors throw nlohmann::json
// exceptions.
void ReadMaterial(const nlohmann::json& json, ModelMaterial& material);

// The material stored under exactly `name`, or null.
const ModelMaterial* GetMaterial(const MaterialTable& materials, std::string_view name);

}  // namespace ovra
