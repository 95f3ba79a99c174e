#pragma once

#include <cstdint>

#include "ovra/export.h"

namespace ovra {

/// Pixel format codes of `Texture::format`.
///
/// 1 to 4 are uncompressed 8-bit channels (the code is the channel count);
/// 100 to 109 are GPU block formats produced by KTX2 transcoding.
enum TextureFormat : uint32_t {
  kTextureFormatNone = 0,
  kTextureFormatR8 = 1,
  kTextureFormatRG8 = 2,
  kTextureFormatRGB8 = 3,
  kTextureFormatRGBA8 = 4,
  kTextureFormatEtc1Rgb = 100,
  kTextureFormatEtc2Rgba = 101,
  kTextureFormatBc1Rgb = 102,
  kTextureFormatBc3Rgba = 103,
  kTextureFormatBc4R = 104,
  kTextureFormatBc5Rg = 105,
  kTextureFormatBc7Rgba = 106,
  kTextureFormatPvrtc2Rgb4bpp = 107,
  kTextureFormatEacR11 = 108,
  kTextureFormatEacRg11 = 109,
};

/// Number of colour channels of a pixel format code; 0 for `kTextureFormatNone`
/// and for any code not listed in `TextureFormat`.
constexpr uint16_t TextureFormatComponents(uint32_t format) {
  switch (format) {
    case kTextureFormatR8:
    case kTextureFormatBc4R:
    case kTextureFormatEacR11: return 1;
    case kTextureFormatRG8:
    case kTextureFormatBc5Rg:
    case kTextureFormatEacRg11: return 2;
    case kTextureFormatRGB8:
    case kTextureFormatEtc1Rgb:
    case kTextureFormatBc1Rgb:
    case kTextureFormatPvrtc2Rgb4bpp: return 3;
    case kTextureFormatRGBA8:
    case kTextureFormatEtc2Rgba:
    case kTextureFormatBc3Rgba:
    case kTextureFormatBc7Rgba: return 4;
    default: return 0;
  }
}

/// One image handed to the renderer inside a `Mesh`.
///
/// Ownership: `data` points into library-owned storage that is valid only for
/// the duration of the `IMeshRenderer::AddMesh` call that carries it.
///
/// Where level 0 (the full-size image) lies:
/// - image files (PNG, JPEG, ...) carry level 0 alone: `data` is level 0;
/// - the colour texture in an uncompressed format is always level 0 alone,
///   whatever its source (it is merged with the level's alpha map);
/// - every other KTX2 texture carries all its mip levels, smallest first, so
///   level 0 is the last `TextureLevelZeroBytes` bytes (of arrays and cube
///   maps, the last layer's last face). `TextureLevelZero` finds it for any
///   record.
struct OVRA_API Texture {
  /// First byte of the pixel data (rows back to back), or null for an empty slot.
  const uint8_t* data = nullptr;
  /// Number of bytes at `data`; 0 for an empty slot.
  uint64_t byteSize = 0;
  /// Width of level 0 in pixels.
  uint16_t width = 0;
  /// Height of level 0 in pixels.
  uint16_t height = 0;
  /// A `TextureFormat` code.
  uint32_t format = 0;
  /// Colour channels of `format`, as `TextureFormatComponents` gives them.
  uint16_t components = 0;
  uint16_t reserved = 0;  ///< Reserved, 0.
};

/// Bytes of one full-size image of `format`: width x height x channels for
/// uncompressed formats, 8 or 16 bytes per 4x4 block for block formats; 0 for
/// `kTextureFormatNone` and unknown codes.
constexpr uint64_t TextureLevelZeroBytes(uint32_t format, uint32_t width, uint32_t height) {
  const uint64_t blocks = uint64_t{(width + 3u) / 4u} * ((height + 3u) / 4u);
  switch (format) {
    case kTextureFormatR8:
    case kTextureFormatRG8:
    case kTextureFormatRGB8:
    case kTextureFormatRGBA8: return uint64_t{width} * height * format;
    case kTextureFormatEtc1Rgb:
    case kTextureFormatBc1Rgb:
    case kTextureFormatBc4R:
    case kTextureFormatPvrtc2Rgb4bpp:
    case kTextureFormatEacR11: return blocks * 8;
    case kTextureFormatEtc2Rgba:
    case kTextureFormatBc3Rgba:
    case kTextureFormatBc5Rg:
    case kTextureFormatBc7Rgba:
    case kTextureFormatEacRg11: return blocks * 16;
    default: return 0;
  }
}

constexpr uint64_t TextureLevelZeroBytes(const Texture& texture) {
  return TextureLevelZeroBytes(texture.format, texture.width, texture.height);
}

/// The first byte of level 0 of `texture` (`TextureLevelZeroBytes` long), or
/// null when the record holds no whole level 0.
inline const uint8_t* TextureLevelZero(const Texture& texture) {
  const uint64_t bytes = TextureLevelZeroBytes(texture);
  if (texture.data == nullptr || bytes == 0 || texture.byteSize < bytes) return nullptr;
  return texture.data + (texture.byteSize - bytes);
}

/// One renderable mesh, handed to `IMeshRenderer::AddMesh`.
///
/// Every pointer reaches library-owned arrays that are valid only for the
/// duration of that call: a renderer that needs the data later copies it.
/// All sizes are byte counts: divide by 12 for positions, normals and
/// triangles, by 8 for texture coordinates. Absent arrays are null with size 0.
struct OVRA_API Mesh {
  /// x, y, z per vertex, in model units.
  const float* positions = nullptr;
  uint64_t positionsByteSize = 0;  ///< 12 bytes per vertex.
  /// Triangle list: three vertex indices per triangle.
  const uint32_t* indices = nullptr;
  uint64_t indicesByteSize = 0;  ///< 12 bytes per triangle.
  /// Unit normals, three floats per vertex.
  const float* normals = nullptr;
  uint64_t normalsByteSize = 0;  ///< 12 bytes per vertex.
  /// Texture-coordinate set 0: u, v per vertex.
  const float* texCoords0 = nullptr;
  uint64_t texCoords0ByteSize = 0;    ///< 8 bytes per vertex.
  const float* texCoords1 = nullptr;  ///< Texture-coordinate set 1, as set 0.
  uint64_t texCoords1ByteSize = 0;    ///< 8 bytes per vertex.
  const float* texCoords2 = nullptr;  ///< Texture-coordinate set 2, as set 0.
  uint64_t texCoords2ByteSize = 0;    ///< 8 bytes per vertex.
  const float* texCoords3 = nullptr;  ///< Texture-coordinate set 3, as set 0.
  uint64_t texCoords3ByteSize = 0;    ///< 8 bytes per vertex.
  /// Base colour, with the level's alpha map merged in when it has one.
  Texture colorTexture;
  Texture normalTexture;          ///< Tangent-space normal map.
  Texture metalRoughnessTexture;  ///< Metalness and roughness map.
  /// Ambient occlusion. When the occlusion map is the metal-roughness file,
  /// this slot has no pixels but format 4: sample occlusion from
  /// `metalRoughnessTexture`.
  Texture occlusionTexture;
  Texture emissiveTexture;  ///< Emissive colour map.
  /// Base colour factor: red, green, blue, alpha.
  float baseColor[4] = {};
  float normalScale = 0.0f;     ///< Scale of the normal map's x and y.
  float occlusionScale = 0.0f;  ///< Strength of the occlusion map.
  float roughness = 0.0f;       ///< Roughness factor, 0 to 1.
  float metalness = 0.0f;       ///< Metalness factor, 0 to 1.
  uint32_t reserved0 = 0;       ///< Reserved, 0.
  float emissive[3] = {};       ///< Emissive colour factor: red, green, blue.
  /// Alpha mode code of the mesh's material: 0 opaque, 1 mask, 2 blend.
  uint8_t alphaMode = 0;
  /// 1 when the material is double-sided, else 0.
  uint8_t doubleSided = 0;
};

}  // namespace ovra
