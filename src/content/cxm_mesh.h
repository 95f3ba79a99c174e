#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "content/cxm_texture.h"
#include "format/material.h"

namespace cxm {

struct Vec2f {
  float u = 0.0f;
  float v = 0.0f;
};
struct Vec3f {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};
struct Vec3u {
  uint32_t a = 0;
  uint32_t b = 0;
  uint32_t c = 0;
};
struct Vec4f {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
  float w = 0.0f;
};
struct Vec4s {
  int16_t x = 0;
  int16_t y = 0;
  int16_t z = 0;
  int16_t w = 0;
};

template <typename T>
using SharedArray = std::shared_ptr<const std::vector<T>>;

template <typename T>
SharedArray<T> EmptyArray() {
  return std::make_shared<const std::vector<T>>();
}

// Decoded geometry. The arrays are immutable and shared, so copies are cheap
// and any copy keeps them alive. Never null.
struct Mesh {
  SharedArray<Vec3f> positions = EmptyArray<Vec3f>();
  SharedArray<Vec4f> colors = EmptyArray<Vec4f>();
  bool colorsHaveAlpha = false;
  SharedArray<Vec3f> normals = EmptyArray<Vec3f>();
  SharedArray<Vec4s> extraShort4 = EmptyArray<Vec4s>();
  SharedArray<Vec4f> extraFloat4 = EmptyArray<Vec4f>();
  SharedArray<Vec3u> triangles = EmptyArray<Vec3u>();
  SharedArray<int32_t> extraInts = EmptyArray<int32_t>();
  // Set k holds one entry per vertex that carried at least k + 1 pairs.
  SharedArray<std::vector<Vec2f>> uvSets = EmptyArray<std::vector<Vec2f>>();
  std::vector<Texture> textures;
  std::vector<ovra::ModelMaterial> materials;
};

}  // namespace cxm
