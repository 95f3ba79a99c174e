#include "view/gl_program.h"

#include <stdexcept>
#include <string>

namespace ovra::view {

namespace {

constexpr const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texCoord;
uniform mat4 viewProjection;
out vec3 worldPosition;
out vec3 worldNormal;
out vec2 uv;
void main() {
  worldPosition = position;
  worldNormal = normal;
  uv = texCoord;
  gl_Position = viewProjection * vec4(position, 1.0);
}
)";

constexpr const char* kFragmentShader = R"(#version 330 core
in vec3 worldPosition;
in vec3 worldNormal;
in vec2 uv;
uniform vec3 camera;
uniform vec3 light;
uniform int mode;
uniform vec4 baseColor;
uniform vec2 metalRoughness;
uniform ivec4 flags;  // normals, colour map, normal map, metal-roughness map
uniform int level;
uniform int node;
uniform sampler2D colorMap;
uniform sampler2D normalMap;
uniform sampler2D metalRoughnessMap;
out vec4 fragment;

const vec3 levelColors[4] = vec3[4](vec3(0.90, 0.25, 0.20), vec3(0.95, 0.70, 0.15),
                                    vec3(0.25, 0.75, 0.30), vec3(0.20, 0.45, 0.90));

// Normal-map frame from screen-space derivatives: no tangents needed.
vec3 MapNormal(vec3 n, vec3 mapped) {
  vec3 dp1 = dFdx(worldPosition), dp2 = dFdy(worldPosition);
  vec2 duv1 = dFdx(uv), duv2 = dFdy(uv);
  vec3 dp2perp = cross(dp2, n), dp1perp = cross(n, dp1);
  vec3 t = dp2perp * duv1.x + dp1perp * duv2.x;
  vec3 b = dp2perp * duv1.y + dp1perp * duv2.y;
  float scale = inversesqrt(max(max(dot(t, t), dot(b, b)), 1e-20));
  return normalize(mat3(t * scale, b * scale, n) * (mapped * 2.0 - 1.0));
}

void main() {
  vec3 faceNormal = normalize(cross(dFdx(worldPosition), dFdy(worldPosition)));
  vec3 n = flags.x != 0 ? normalize(worldNormal) : faceNormal;
  vec3 v = normalize(camera - worldPosition);
  if (dot(n, v) < 0.0) n = -n;
  if (flags.z != 0) n = MapNormal(n, texture(normalMap, uv).xyz);
  float diffuse = max(dot(n, light), 0.0);
  if (mode == 1) {
    float shade = 0.85 + 0.15 * fract(sin(float(node) * 12.9898) * 43758.5453);
    fragment = vec4(levelColors[clamp(level, 0, 3)] * shade * (0.35 + 0.65 * diffuse), 1.0);
    return;
  }
  vec4 albedo = baseColor;
  if (flags.y != 0) albedo *= texture(colorMap, uv);
  vec2 mr = metalRoughness;
  if (flags.w != 0) mr *= texture(metalRoughnessMap, uv).bg;
  float roughness = clamp(mr.y, 0.05, 1.0);
  vec3 h = normalize(light + v);
  float shininess = 2.0 / (roughness * roughness * roughness * roughness) - 2.0;
  vec3 f0 = mix(vec3(0.04), albedo.rgb, mr.x);
  vec3 specular = f0 * pow(max(dot(n, h), 0.0), shininess) * (shininess + 8.0) / 25.0;
  vec3 color = albedo.rgb * (1.0 - mr.x) * (0.25 + 0.75 * diffuse) + specular * diffuse + 0.08 * albedo.rgb * mr.x;
  fragment = vec4(pow(color, vec3(1.0 / 2.2)), 1.0);
}
)";

GLuint Compile(GLenum type, const char* source) {
  const GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[4096] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    glDeleteShader(shader);
    throw std::runtime_error(std::string("shader does not compile: ") + log);
  }
  return shader;
}

}  // namespace

GlProgram::GlProgram() {
  const GLuint vertex = Compile(GL_VERTEX_SHADER, kVertexShader);
  const GLuint fragment = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
  program_ = glCreateProgram();
  glAttachShader(program_, vertex);
  glAttachShader(program_, fragment);
  glLinkProgram(program_);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint ok = 0;
  glGetProgramiv(program_, GL_LINK_STATUS, &ok);
  if (!ok) throw std::runtime_error("shader program does not link");
  viewProjection_ = glGetUniformLocation(program_, "viewProjection");
  camera_ = glGetUniformLocation(program_, "camera");
  light_ = glGetUniformLocation(program_, "light");
  mode_ = glGetUniformLocation(program_, "mode");
  baseColor_ = glGetUniformLocation(program_, "baseColor");
  metalRoughness_ = glGetUniformLocation(program_, "metalRoughness");
  flags_ = glGetUniformLocation(program_, "flags");
  level_ = glGetUniformLocation(program_, "level");
  node_ = glGetUniformLocation(program_, "node");
  glUseProgram(program_);
  glUniform1i(glGetUniformLocation(program_, "colorMap"), 0);
  glUniform1i(glGetUniformLocation(program_, "normalMap"), 1);
  glUniform1i(glGetUniformLocation(program_, "metalRoughnessMap"), 2);
}

GlProgram::~GlProgram() { glDeleteProgram(program_); }

void GlProgram::Use(const Mat4& viewProjection, Vec3 camera, Vec3 lightDirection, ShadingMode mode) const {
  glUseProgram(program_);
  glUniformMatrix4fv(viewProjection_, 1, GL_FALSE, viewProjection.data());
  glUniform3f(camera_, camera.x, camera.y, camera.z);
  const Vec3 light = Normalize(lightDirection);
  glUniform3f(light_, light.x, light.y, light.z);
  glUniform1i(mode_, mode == ShadingMode::kLevels ? 1 : 0);
}

void GlProgram::SetSurface(const SurfaceParameters& surface) const {
  glUniform4fv(baseColor_, 1, surface.baseColor);
  glUniform2f(metalRoughness_, surface.metalness, surface.roughness);
  glUniform4i(flags_, surface.hasNormals, surface.hasColorTexture, surface.hasNormalTexture,
              surface.hasMetalRoughnessTexture);
  glUniform1i(level_, surface.level);
  glUniform1i(node_, surface.node);
}

}  // namespace ovra::view
