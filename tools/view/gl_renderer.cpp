#include "view/gl_renderer.h"

#include <cstring>
#include <string_view>

namespace ovra::view {

namespace {

// KTX2 transcode targets the renderer asks for.
constexpr int kTranscodeBc1Rgb = 2;
constexpr int kTranscodeBc3Rgba = 3;
constexpr int kTranscodeBc7Rgba = 6;
constexpr int kTranscodeRgba32 = 13;

enum TextureUnit { kColorUnit = 0, kNormalUnit = 1, kMetalRoughnessUnit = 2, kUnits = 3 };

class ScopedTimer {
 public:
  explicit ScopedTimer(std::chrono::nanoseconds& total) : total_(total), start_(std::chrono::steady_clock::now()) {}
  ~ScopedTimer() { total_ += std::chrono::steady_clock::now() - start_; }

 private:
  std::chrono::nanoseconds& total_;
  std::chrono::steady_clock::time_point start_;
};

GLuint UploadUncompressed(const Texture& texture, bool srgb) {
  static constexpr GLenum kLayouts[] = {GL_RED, GL_RG, GL_RGB, GL_RGBA};
  static constexpr GLenum kLinear[] = {GL_R8, GL_RG8, GL_RGB8, GL_RGBA8};
  const uint8_t* levelZero = TextureLevelZero(texture);
  if (levelZero == nullptr) return 0;
  const int channels = static_cast<int>(texture.format);
  GLenum internal = kLinear[channels - 1];
  if (srgb && channels == 3) internal = GL_SRGB8;
  if (srgb && channels == 4) internal = GL_SRGB8_ALPHA8;
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internal), texture.width, texture.height, 0, kLayouts[channels - 1],
               GL_UNSIGNED_BYTE, levelZero);
  glGenerateMipmap(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  return name;
}

GLuint UploadCompressed(const Texture& texture, GLenum internal) {
  const uint8_t* levelZero = TextureLevelZero(texture);
  if (levelZero == nullptr) return 0;
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glCompressedTexImage2D(GL_TEXTURE_2D, 0, internal, texture.width, texture.height, 0,
                         static_cast<GLsizei>(TextureLevelZeroBytes(texture)), levelZero);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  return name;
}

// A texture object for `texture`, or 0 when there is nothing this context can sample.
GLuint UploadTexture(const Texture& texture, bool srgb, const GlCapabilities& capabilities) {
  if (texture.data == nullptr || texture.byteSize == 0 || texture.width == 0 || texture.height == 0) return 0;
  GLuint name = 0;
  switch (texture.format) {
    case kTextureFormatR8:
    case kTextureFormatRG8:
    case kTextureFormatRGB8:
    case kTextureFormatRGBA8: name = UploadUncompressed(texture, srgb); break;
    case kTextureFormatBc1Rgb:
      if (capabilities.s3tc) name = UploadCompressed(texture, GL_COMPRESSED_RGB_S3TC_DXT1_EXT);
      break;
    case kTextureFormatBc3Rgba:
      if (capabilities.s3tc) name = UploadCompressed(texture, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT);
      break;
    case kTextureFormatBc7Rgba:
      if (capabilities.bptc) name = UploadCompressed(texture, GL_COMPRESSED_RGBA_BPTC_UNORM);
      break;
    default: break;
  }
  if (name != 0) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  }
  return name;
}

GLuint UploadArray(GLenum target, const void* data, uint64_t bytes) {
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  glBindBuffer(target, buffer);
  glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
  return buffer;
}

void Attribute(GLuint location, GLint components, const float* data, uint64_t bytes, GLuint& buffer) {
  if (data == nullptr || bytes == 0) return;
  buffer = UploadArray(GL_ARRAY_BUFFER, data, bytes);
  glEnableVertexAttribArray(location);
  glVertexAttribPointer(location, components, GL_FLOAT, GL_FALSE, 0, nullptr);
}

}  // namespace

GlCapabilities GlCapabilities::OfCurrentContext() {
  GlCapabilities capabilities;
  GLint count = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  for (GLint i = 0; i < count; ++i) {
    const std::string_view name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
    if (name == "GL_ARB_texture_compression_bptc") capabilities.bptc = true;
    if (name == "GL_EXT_texture_compression_s3tc") capabilities.s3tc = true;
  }
  GLint major = 0, minor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  if (major > 4 || (major == 4 && minor >= 2)) capabilities.bptc = true;  // core since 4.2
  return capabilities;
}

struct GlRenderer::GpuMesh {
  GLuint vertexArray = 0;
  GLuint buffers[4] = {};  // positions, normals, texture coordinates, indices
  GLuint textures[kUnits] = {};
  GLsizei indexCount = 0;
  float baseColor[4] = {1, 1, 1, 1};
  float metalness = 0.0f;
  float roughness = 1.0f;
  bool hasNormals = false;
  bool hasTexCoords = false;
  bool visible = false;
  int level = 0;
  int node = 0;

  void Free() {
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteBuffers(4, buffers);
    glDeleteTextures(kUnits, textures);
  }
};

GlRenderer::GlRenderer(GlCapabilities capabilities) : capabilities_(capabilities) {}

GlRenderer::~GlRenderer() { RemoveAllMeshes(); }

void GlRenderer::AddMesh(const Mesh& mesh, int meshId, int operationId, const int*, size_t operationMeshCount,
                         VisualizationInfo, std::function<void()> onShown) {
  const ScopedTimer timer(transferTime_);
  ++meshesAdded_;
  auto existing = meshes_.find(meshId);
  if (existing != meshes_.end()) {
    existing->second.Free();
    meshes_.erase(existing);
  }
  GpuMesh& gpu = meshes_[meshId];
  gpu.level = LevelOfMeshId(meshId);
  gpu.node = NodeOfMeshId(meshId);
  Upload(mesh, gpu);
  gpu.visible = swaps_.Add(meshId, operationId, operationMeshCount, std::move(onShown));
}

void GlRenderer::Upload(const Mesh& mesh, GpuMesh& gpu) {
  const uint64_t vertices = mesh.positionsByteSize / 12;
  glGenVertexArrays(1, &gpu.vertexArray);
  glBindVertexArray(gpu.vertexArray);
  Attribute(0, 3, mesh.positions, vertices * 12, gpu.buffers[0]);
  for (uint64_t i = 0; i < vertices; ++i) {
    bounds_.Add({mesh.positions[3 * i], mesh.positions[3 * i + 1], mesh.positions[3 * i + 2]});
  }
  gpu.hasNormals = mesh.normals != nullptr && mesh.normalsByteSize == vertices * 12;
  if (gpu.hasNormals) Attribute(1, 3, mesh.normals, vertices * 12, gpu.buffers[1]);
  gpu.hasTexCoords = mesh.texCoords0 != nullptr && mesh.texCoords0ByteSize == vertices * 8;
  if (gpu.hasTexCoords) Attribute(2, 2, mesh.texCoords0, vertices * 8, gpu.buffers[2]);
  gpu.buffers[3] = UploadArray(GL_ELEMENT_ARRAY_BUFFER, mesh.indices, mesh.indicesByteSize / 12 * 12);
  gpu.indexCount = static_cast<GLsizei>(mesh.indicesByteSize / 12 * 3);
  glBindVertexArray(0);
  if (gpu.hasTexCoords) {
    gpu.textures[kColorUnit] = UploadTexture(mesh.colorTexture, true, capabilities_);
    gpu.textures[kNormalUnit] = UploadTexture(mesh.normalTexture, false, capabilities_);
    gpu.textures[kMetalRoughnessUnit] = UploadTexture(mesh.metalRoughnessTexture, false, capabilities_);
  }
  std::memcpy(gpu.baseColor, mesh.baseColor, sizeof gpu.baseColor);
  gpu.metalness = mesh.metalness;
  gpu.roughness = mesh.roughness;
}

void GlRenderer::RemoveMesh(int meshId) {
  const ScopedTimer timer(transferTime_);
  const auto found = meshes_.find(meshId);
  if (found == meshes_.end()) return;
  found->second.Free();
  meshes_.erase(found);
  ++meshesRemoved_;
}

void GlRenderer::RemoveAllMeshes() {
  for (auto& [id, mesh] : meshes_) mesh.Free();
  meshes_.clear();
  swaps_.Clear();
}

int GlRenderer::SelectTranscodeFormat(int, int, int componentCount) {
  if (capabilities_.bptc) return kTranscodeBc7Rgba;
  if (capabilities_.s3tc) return componentCount == 4 ? kTranscodeBc3Rgba : kTranscodeBc1Rgb;
  return kTranscodeRgba32;
}

void GlRenderer::ShowCompleteOperations() {
  for (host::CompleteSwap& swap : swaps_.TakeComplete()) {
    for (int meshId : swap.meshIds) {
      const auto found = meshes_.find(meshId);
      if (found != meshes_.end()) found->second.visible = true;
    }
    if (swap.onShown) shownCallbacks_.push_back(std::move(swap.onShown));
  }
}

void GlRenderer::CallShownCallbacks() {
  std::vector<std::function<void()>> callbacks;
  callbacks.swap(shownCallbacks_);
  for (auto& callback : callbacks) callback();
}

void GlRenderer::Draw(const GlProgram& program) const {
  for (const auto& [id, mesh] : meshes_) {
    if (!mesh.visible) continue;
    SurfaceParameters surface;
    surface.baseColor = mesh.baseColor;
    surface.metalness = mesh.metalness;
    surface.roughness = mesh.roughness;
    surface.hasNormals = mesh.hasNormals;
    surface.hasColorTexture = mesh.textures[kColorUnit] != 0;
    surface.hasNormalTexture = mesh.textures[kNormalUnit] != 0;
    surface.hasMetalRoughnessTexture = mesh.textures[kMetalRoughnessUnit] != 0;
    surface.level = mesh.level;
    surface.node = mesh.node;
    program.SetSurface(surface);
    for (int unit = 0; unit < kUnits; ++unit) {
      glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
      glBindTexture(GL_TEXTURE_2D, mesh.textures[unit]);
    }
    glBindVertexArray(mesh.vertexArray);
    if (!mesh.hasNormals) glVertexAttrib3f(1, 0, 0, 0);
    glDrawElements(GL_TRIANGLES, mesh.indexCount, GL_UNSIGNED_INT, nullptr);
  }
  glBindVertexArray(0);
}

RendererStatistics GlRenderer::Statistics() const {
  RendererStatistics statistics;
  for (const auto& [id, mesh] : meshes_) {
    if (!mesh.visible) continue;
    ++statistics.meshes;
    statistics.triangles += static_cast<uint64_t>(mesh.indexCount / 3);
  }
  statistics.waitingOperations = swaps_.PendingOperations();
  statistics.meshesAdded = meshesAdded_;
  statistics.meshesRemoved = meshesRemoved_;
  return statistics;
}

}  // namespace ovra::view
