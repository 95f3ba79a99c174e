#pragma once

#include "view/gl.h"
#include "view/view_math.h"

namespace ovra::view {

enum class ShadingMode { kMaterial, kLevels };

// Per-mesh values of the one shader the viewer draws with.
struct SurfaceParameters {
  const float* baseColor = nullptr;  // four floats
  float metalness = 0.0f;
  float roughness = 1.0f;
  bool hasNormals = false;
  bool hasColorTexture = false;
  bool hasNormalTexture = false;
  bool hasMetalRoughnessTexture = false;
  int level = 0;
  int node = 0;
};

// The shader: a simple metal-roughness model with an optional normal map, or
// one colour per level of detail, shaded a little differently per node so
// that node boundaries show.
class GlProgram {
 public:
  GlProgram();  // throws std::runtime_error with the compiler's log
  ~GlProgram();
  GlProgram(const GlProgram&) = delete;
  GlProgram& operator=(const GlProgram&) = delete;

  void Use(const Mat4& viewProjection, Vec3 camera, Vec3 lightDirection, ShadingMode mode) const;
  void SetSurface(const SurfaceParameters& surface) const;

 private:
  GLuint program_ = 0;
  GLint viewProjection_ = -1, camera_ = -1, light_ = -1, mode_ = -1;
  GLint baseColor_ = -1, metalRoughness_ = -1, flags_ = -1, level_ = -1, node_ = -1;
};

}  // namespace ovra::view
