// Hosts compiled against any release read these records field by field, so
// their layout is part of the binary interface.
#include <cstddef>
#include <type_traits>

#include "ovra/mesh_renderer.h"
#include "ovra/records.h"
#include "ovra/render_mesh.h"

namespace ovra {
namespace {

template <typename T>
constexpr bool kPlainRecord = std::is_standard_layout_v<T>&& std::is_trivially_copyable_v<T>;

static_assert(kPlainRecord<Vec2> && sizeof(Vec2) == 8);
static_assert(kPlainRecord<Vec3> && sizeof(Vec3) == 12 && offsetof(Vec3, z) == 8);
static_assert(kPlainRecord<Vec4> && sizeof(Vec4) == 16 && offsetof(Vec4, w) == 12);

static_assert(kPlainRecord<EnvironmentInfo> && sizeof(EnvironmentInfo) == 20);
static_assert(offsetof(EnvironmentInfo, verticalFieldOfView) == 12);
static_assert(offsetof(EnvironmentInfo, aspectRatio) == 16);

static_assert(kPlainRecord<VisualizationInfo> && sizeof(VisualizationInfo) == 12);

static_assert(kPlainRecord<StreamControllerSettings> && sizeof(StreamControllerSettings) == 24);
static_assert(offsetof(StreamControllerSettings, distanceExponent) == 4);
static_assert(offsetof(StreamControllerSettings, useCenterDistance) == 8);
static_assert(offsetof(StreamControllerSettings, nearDistance) == 12);
static_assert(offsetof(StreamControllerSettings, nearDistanceExponent) == 16);
static_assert(offsetof(StreamControllerSettings, priorityCutoff) == 20);

static_assert(kPlainRecord<DebugInfo> && sizeof(DebugInfo) == 480);
static_assert(offsetof(DebugInfo, displayedTriangles) == 192);
static_assert(offsetof(DebugInfo, cacheHits) == 200);
static_assert(offsetof(DebugInfo, cacheMisses) == 208);
static_assert(offsetof(DebugInfo, pendingOperations) == 216);
static_assert(offsetof(DebugInfo, reservedTail) == 224);

static_assert(kPlainRecord<Texture> && sizeof(Texture) == 32);
static_assert(offsetof(Texture, byteSize) == 8);
static_assert(offsetof(Texture, width) == 16);
static_assert(offsetof(Texture, height) == 18);
static_assert(offsetof(Texture, format) == 20);
static_assert(offsetof(Texture, components) == 24);
static_assert(offsetof(Texture, reserved) == 26);

static_assert(kPlainRecord<Mesh> && sizeof(Mesh) == 328);
static_assert(offsetof(Mesh, positionsByteSize) == 8);
static_assert(offsetof(Mesh, indices) == 16);
static_assert(offsetof(Mesh, normals) == 32);
static_assert(offsetof(Mesh, texCoords0) == 48);
static_assert(offsetof(Mesh, texCoords3ByteSize) == 104);
static_assert(offsetof(Mesh, colorTexture) == 112);
static_assert(offsetof(Mesh, normalTexture) == 144);
static_assert(offsetof(Mesh, metalRoughnessTexture) == 176);
static_assert(offsetof(Mesh, occlusionTexture) == 208);
static_assert(offsetof(Mesh, emissiveTexture) == 240);
static_assert(offsetof(Mesh, baseColor) == 272);
static_assert(offsetof(Mesh, normalScale) == 288);
static_assert(offsetof(Mesh, occlusionScale) == 292);
static_assert(offsetof(Mesh, roughness) == 296);
static_assert(offsetof(Mesh, metalness) == 300);
static_assert(offsetof(Mesh, reserved0) == 304);
static_assert(offsetof(Mesh, emissive) == 308);
static_assert(offsetof(Mesh, alphaMode) == 320);
static_assert(offsetof(Mesh, doubleSided) == 321);

}  // namespace
}  // namespace ovra
