#include "format/material.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <nlohmann/json.hpp>

namespace ovra {
namespace {

using nlohmann::json;

ModelMaterial Read(const json& value) {
  ModelMaterial material;
  ReadMaterial(value, material);
  return material;
}

std::string TypeErrorText(const json& value) {
  try {
    Read(value);
  } catch (const json::type_error& e) {
    return e.what();
  }
  return "no error";
}

void ExpectVec(const Vec2& v, float x, float y) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
}

TEST(ReadMaterial, DefaultsFromEmptyObjectAndNonObjects) {
  for (const json& value : {json::object(), json("red"), json(5), json::array({1, 2}), json()}) {
    const ModelMaterial m = Read(value);
    EXPECT_EQ(m.metalness, 1.0f);
    EXPECT_TRUE(m.usePbrMR);
    EXPECT_EQ(m.ior, 1.5f);
    EXPECT_TRUE(std::isinf(m.attenuationDistance));
    EXPECT_EQ(m.albedoMap, -1);
    ExpectVec(m.albedoUvScale, 1, 1);
    EXPECT_EQ(m.alphaCutoff, 0.5f);
  }
}

TEST(ReadMaterial, VectorsReplaceTheWholeDefault) {
  const ModelMaterial m = Read({{"albedo", {{"x", 0.5}}},
                                {"albedoUvScale", json::array({2, 2})},
                                {"metalRoughnessUvOffset", {{"x", 0.25}, {"y", 0.5}}},
                                {"specularColor", "white"}});
  EXPECT_EQ(m.albedo.x, 0.5f);
  EXPECT_EQ(m.albedo.y, 0.0f);
  EXPECT_EQ(m.albedo.z, 0.0f);
  EXPECT_EQ(m.albedo.w, 0.0f);
  ExpectVec(m.albedoUvScale, 0, 0);
  ExpectVec(m.metalRoughnessUvOffset, 0.25f, 0.5f);
  ExpectVec(m.metalRoughnessUvScale, 1, 1);
  EXPECT_EQ(m.specularColor.x, 0.0f);
}

TEST(ReadMaterial, NumberConversions) {
  const ModelMaterial m = Read({{"metalness", true},
                                {"roughness", false},
                                {"normalMap", 3.9},
                                {"normalUvs", -2.7},
                                {"occlusionMap", 4294967297LL},  // low 32 bits: 1
                                {"albedoMap", true},
                                {"emissiveMap", -1e300},
                                {"alphaMode", 258},
                                {"ior", 2}});
  EXPECT_EQ(m.metalness, 1.0f);
  EXPECT_EQ(m.roughness, 0.0f);
  EXPECT_EQ(m.normalMap, 3);
  EXPECT_EQ(m.normalUvs, -2);
  EXPECT_EQ(m.occlusionMap, 1);
  EXPECT_EQ(m.albedoMap, 1);
  EXPECT_EQ(m.emissiveMap, 0) << "saturated at the 64-bit minimum, whose low 32 bits are 0";
  EXPECT_EQ(m.alphaMode, 2);
  EXPECT_EQ(m.ior, 2.0f);
  EXPECT_EQ(Read({{"alphaMode", 2.7}}).alphaMode, 2);
}

TEST(ReadMaterial, TypeErrorsNameTheOffendingType) {
  struct Case {
    json value;
    const char* expectedTail;
  };
  const Case cases[] = {
      {{{"doubleSided", 1}}, "type must be boolean, but is number"},
      {{{"alphaMode", false}}, "type must be number, but is boolean"},
      {{{"metalness", "shiny"}}, "type must be number, but is string"},
      {{{"albedoMap", nullptr}}, "type must be number, but is null"},
      {{{"alphaCutoff", json::array()}}, "type must be number, but is array"},
      {{{"unlit", json::object()}}, "type must be boolean, but is object"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(TypeErrorText(c.value).ends_with(c.expectedTail))
        << c.value.dump() << " gave " << TypeErrorText(c.value);
  }
}

// Each key of the record in field order. Setting one key must change bytes of
// one field only, at a larger offset than the key before it.
const char* const kKeysInFieldOrder[] = {
    "metalness",
    "roughness",
    "metalRoughnessMap",
    "metalRoughnessUvs",
    "metalRoughnessUvScale",
    "metalRoughnessUvOffset",
    "albedo",
    "albedoMap",
    "albedoUvs",
    "albedoUvScale",
    "albedoUvOffset",
    "normalScale",
    "normalMap",
    "normalUvs",
    "normalUvScale",
    "normalUvOffset",
    "occlusionScale",
    "occlusionMap",
    "occlusionUvs",
    "occlusionUvScale",
    "occlusionUvOffset",
    "emissiveScale",
    "emissiveMap",
    "emissiveUvs",
    "emissiveUvScale",
    "emissiveUvOffset",
    "lightMap",
    "lightUvs",
    "lightMapRGBM",
    "lightUvScale",
    "lightUvOffset",
    "ior",
    "useTransmission",
    "transmission",
    "transmissionMap",
    "transmissionUvs",
    "transmissionUvScale",
    "transmissionUvOffset",
    "useVolume",
    "thickness",
    "thicknessMap",
    "thicknessUvs",
    "thicknessUvScale",
    "thicknessUvOffset",
    "attenuationColor",
    "attenuationDistance",
    "clearcoat",
    "clearcoatMap",
    "clearcoatUvs",
    "clearcoatUvScale",
    "clearcoatUvOffset",
    "clearcoatRoughness",
    "clearcoatRoughnessMap",
    "clearcoatRoughnessUvs",
    "clearcoatRoughnessUvScale",
    "clearcoatRoughnessUvOffset",
    "clearcoatNormalMap",
    "clearcoatNormalUvs",
    "clearcoatNormalUvScale",
    "clearcoatNormalUvOffset",
    "clearcoatNormalScale",
    "emissiveStrength",
    "dispersion",
    "useSheen",
    "sheenColorFactor",
    "sheenMap",
    "sheenUvs",
    "sheenUvScale",
    "sheenUvOffset",
    "sheenRoughness",
    "sheenRoughnessMap",
    "sheenRoughnessUvs",
    "sheenRoughnessUvScale",
    "sheenRoughnessUvOffset",
    "useSpecular",
    "specular",
    "specularMap",
    "specularUvs",
    "specularUvScale",
    "specularUvOffset",
    "specularColor",
    "specularColorMap",
    "specularColorUvs",
    "specularColorUvScale",
    "specularColorUvOffset",
    "usePbrMR",
    "diffuseColor",
    "diffuseMap",
    "diffuseUvs",
    "diffuseUvScale",
    "diffuseUvOffset",
    "glossiness",
    "specularGlossinessMap",
    "specularGlossinessUvs",
    "specularGlossinessUvScale",
    "specularGlossinessUvOffset",
    "alphaMode",
    "alphaCutoff",
    "doubleSided",
    "unlit",
};

// A material whose padding bytes are zero, so whole records compare bytewise.
struct ZeroedMaterial {
  alignas(ModelMaterial) unsigned char storage[sizeof(ModelMaterial)];
  ZeroedMaterial() {
    std::memset(storage, 0, sizeof storage);
    new (storage) ModelMaterial;
  }
  ModelMaterial& get() { return *std::launder(reinterpret_cast<ModelMaterial*>(storage)); }
};

// Byte range [first, last] that reading `member` changes; empty (first >
// last) when it changes nothing or throws.
struct ByteRange {
  size_t first = 1;
  size_t last = 0;
  bool empty() const { return first > last; }
};

ByteRange ChangedBytes(const json& member) {
  ZeroedMaterial before;
  ZeroedMaterial after;
  try {
    ReadMaterial(member, after.get());
  } catch (const json::exception&) {
    return {};
  }
  ByteRange range;
  for (size_t i = 0; i < sizeof(ModelMaterial); ++i) {
    if (before.storage[i] == after.storage[i]) continue;
    if (range.empty()) range.first = i;
    range.last = i;
  }
  return range;
}

TEST(ReadMaterial, EveryKeyFillsOnlyItsOwnFieldInRecordOrder) {
  ASSERT_EQ(std::size(kKeysInFieldOrder), 100u);
  const json vector = {{"x", 7}, {"y", 7}, {"z", 7}, {"w", 7}};
  size_t previousLast = 0;
  bool first = true;
  for (const char* key : kKeysInFieldOrder) {
    ByteRange changed;
    for (const json& value : {json(7), json(true), json(false), vector}) {
      changed = ChangedBytes({{key, value}});
      if (!changed.empty()) break;
    }
    ASSERT_FALSE(changed.empty()) << key << " changes nothing";
    EXPECT_TRUE(first || changed.first > previousLast) << key << " is out of field order";
    EXPECT_LE(changed.last - changed.first, 15u) << key << " changes more than one field";
    previousLast = changed.last;
    first = false;
  }
}

TEST(GetMaterial, FindsExactNamesOnly) {
  MaterialTable table;
  table["stone"] = std::make_unique<ModelMaterial>();
  table["stone"]->roughness = 0.25f;
  ASSERT_NE(GetMaterial(table, "stone"), nullptr);
  EXPECT_EQ(GetMaterial(table, "stone")->roughness, 0.25f);
  EXPECT_EQ(GetMaterial(table, "Stone"), nullptr);
  EXPECT_EQ(GetMaterial(table, "ston"), nullptr);
  EXPECT_EQ(GetMaterial(table, ""), nullptr);
}

}  // namespace
}  // namespace ovra
