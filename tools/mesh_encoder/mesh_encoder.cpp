#include "mesh_encoder/mesh_encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "content/mesh_stream_format.h"
#include "content/octahedral_normal.h"
#include "mesh_encoder/bit_writer.h"

namespace ovra::tools {

namespace {

using mesh_stream::kDeltaBias;
using mesh_stream::kDeltaEscape;
using mesh_stream::kLongDistanceMark;
using mesh_stream::kMaxDistance;
constexpr double kUvUnitsPerTexture = mesh_stream::kUvUnitsPerTexture;

struct QuantizedVertex {
  int32_t position[3];
  std::array<uint8_t, 2> normal;
  std::vector<std::array<int32_t, 2>> uvs;
  std::array<uint8_t, 4> color;
};

// How one triangle corner is written to the index stream.
struct Corner {
  enum Kind { kNew, kRecent, kDistance } kind;
  uint32_t value;  // recent: 0 to 2; distance: vertices back
};

struct Block {
  std::vector<uint32_t> vertices;  // input vertex of each stored vertex
  std::vector<Corner> corners;
  uint32_t triangleCount = 0;
};

void Require(bool condition, const char* message) {
  if (!condition) throw std::invalid_argument(message);
}

void ValidateInput(const MeshToEncode& mesh, const MeshEncodeOptions& options) {
  const size_t count = mesh.positions.size();
  Require(options.version >= -1 && options.version <= 5, "version must be -1 to 5");
  Require(mesh.normals.empty() || mesh.normals.size() == count, "one normal per position");
  Require(mesh.colors.empty() || mesh.colors.size() == count, "one colour per position");
  Require(mesh.colors.empty() || options.version >= 5, "colours need version 5");
  Require(mesh.uvSets.size() <= 65535, "at most 65,535 texture-coordinate sets");
  for (const auto& set : mesh.uvSets) Require(set.size() == count, "one coordinate per position");
  for (uint32_t bits : options.axisBits) Require(bits >= 1 && bits <= 16, "axis bits must be 1 to 16");
  Require(options.maxBlockVertices >= 3 && options.maxBlockVertices <= 65535, "block vertices 3 to 65,535");
  Require(options.maxBlockTriangles >= 1 && options.maxBlockTriangles <= 65535, "block triangles 1 to 65,535");
  for (const cxm::Vec3u& t : mesh.triangles) {
    Require(t.a < count && t.b < count && t.c < count, "triangle index out of range");
  }
}

std::array<float, 6> BoundsOf(const std::vector<cxm::Vec3f>& positions) {
  std::array<float, 6> box = {0, 0, 0, 0, 0, 0};
  if (positions.empty()) return box;
  box = {positions[0].x, positions[0].x, positions[0].y, positions[0].y, positions[0].z, positions[0].z};
  for (const cxm::Vec3f& p : positions) {
    box[0] = std::min(box[0], p.x), box[1] = std::max(box[1], p.x);
    box[2] = std::min(box[2], p.y), box[3] = std::max(box[3], p.y);
    box[4] = std::min(box[4], p.z), box[5] = std::max(box[5], p.z);
  }
  return box;
}

int32_t Quantize(double value, double low, double high, uint32_t bits) {
  const double top = static_cast<double>((1u << bits) - 1);
  if (!(high > low)) return 0;
  return static_cast<int32_t>(std::clamp(std::round((value - low) / (high - low) * top), 0.0, top));
}

int32_t QuantizeUv(double value, double offset, unsigned bits) {
  const double top = static_cast<double>((1u << bits) - 1);
  return static_cast<int32_t>(std::clamp(std::round((value - offset) * kUvUnitsPerTexture - 0.5), 0.0, top));
}

uint8_t UnitByte(float value) { return static_cast<uint8_t>(std::clamp(std::round(value * 255.0f), 0.0f, 255.0f)); }

uint8_t IndexPlusOne(int32_t index) { return static_cast<uint8_t>(std::clamp(index + 1, 0, 255)); }

float Dot(const cxm::Vec3f& a, const cxm::Vec3f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

class StreamEncoder {
 public:
  StreamEncoder(const MeshToEncode& mesh, const MeshEncodeOptions& options)
      : mesh_(mesh), options_(options), uvBits_(options.version >= 1 ? 24 : 16) {
    bounds_ = options.bounds.value_or(BoundsOf(mesh.positions));
    if (options.version >= 3) axisBits_ = options.axisBits;
    ChooseUvOffsets();
  }

  EncodedMesh Encode() {
    WriteHeader();
    for (const Block& block : CutIntoBlocks()) {
      WriteBlock(block);
      writer_.AlignToByte();
    }
    return {writer_.Take(), std::move(vertexSource_), bounds_};
  }

 private:
  void ChooseUvOffsets() {
    if (options_.version < 1) return;
    float lowU = std::numeric_limits<float>::max();
    float lowT = std::numeric_limits<float>::max();
    for (const auto& set : mesh_.uvSets) {
      for (const cxm::Vec2f& uv : set) {
        lowU = std::min(lowU, uv.u);
        lowT = std::min(lowT, 1.0f - uv.v);
      }
    }
    const bool any = lowU != std::numeric_limits<float>::max();
    uOffset_ = options_.uOffset.value_or(any ? std::floor(lowU) : 0.0f);
    vOffset_ = options_.vOffset.value_or(any ? std::floor(lowT) : 0.0f);
  }

  void WriteFloat(float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    for (unsigned shift = 0; shift < 32; shift += 8) writer_.Write((bits >> shift) & 0xFF, 8);
  }

  void WriteHeader() {
    const int version = options_.version;
    if (version == 0) writer_.WriteBytes(mesh_stream::kMagic.data(), mesh_stream::kMagic.size());
    if (version >= 1) {
      writer_.WriteBytes(mesh_stream::kVersionedMagic.data(), mesh_stream::kVersionedMagic.size());
      writer_.Write(static_cast<uint32_t>(version), 24);
    }
    if (version >= 0) {
      for (float bound : bounds_) WriteFloat(bound);
    }
    if (version >= 1) {
      WriteFloat(uOffset_);
      WriteFloat(0.0f);
      WriteFloat(vOffset_);
      WriteFloat(0.0f);
    }
    if (version >= 3) {
      for (uint32_t bits : axisBits_) writer_.Write(bits, 8);
    }
    if (version < 4) WriteMaterial(options_.material);
  }

  void WriteMaterial(const ModelMaterial& m) {
    for (float v : {m.albedo.x, m.albedo.y, m.albedo.z, m.albedo.w}) writer_.Write(UnitByte(v), 8);
    writer_.Write(IndexPlusOne(m.albedoMap), 8);
    writer_.Write(IndexPlusOne(m.albedoUvs), 8);
    for (float v : {m.emissiveScale.x, m.emissiveScale.y, m.emissiveScale.z}) writer_.Write(UnitByte(v), 8);
    writer_.Write(IndexPlusOne(m.emissiveMap), 8);
    writer_.Write(IndexPlusOne(m.emissiveUvs), 8);
    writer_.Write(UnitByte(m.metalness), 8);
    writer_.Write(UnitByte(m.roughness), 8);
    writer_.Write(IndexPlusOne(m.metalRoughnessMap), 8);
    writer_.Write(IndexPlusOne(m.metalRoughnessUvs), 8);
    writer_.Write(UnitByte(m.normalScale), 8);
    // Present maps are stored as 255 and read back as index 0.
    writer_.Write(m.normalMap < 0 ? 0 : 255, 8);
    writer_.Write(m.normalUvs < 0 ? 0 : 255, 8);
    writer_.Write(UnitByte(m.occlusionScale), 8);
    writer_.Write(m.occlusionMap < 0 ? 0 : 255, 8);
    writer_.Write(m.occlusionUvs < 0 ? 0 : 255, 8);
    if (options_.version >= 2) {
      writer_.Write(m.lightMap >= 1 ? 255 : 0, 8);
      writer_.Write(m.lightUvs >= 1 ? 255 : 0, 8);
      writer_.Write(m.lightMapRGBM ? 1 : 0, 8);
    }
    writer_.Write(m.alphaMode, 8);
    if (options_.version >= 3) writer_.Write(m.doubleSided ? 1 : 0, 8);
  }

  // Walks the triangles in order, giving every corner its index code and
  // storing vertices in order of first use.
  std::vector<Block> CutIntoBlocks() {
    std::vector<int64_t> storedAs(mesh_.positions.size(), -1);
    std::vector<Block> blocks;
    std::vector<int64_t> list;  // the block's decoded index list
    int64_t counter = -1;
    for (const cxm::Vec3u& triangle : mesh_.triangles) {
      if (blocks.empty() || blocks.back().vertices.size() + 3 > options_.maxBlockVertices ||
          blocks.back().triangleCount == options_.maxBlockTriangles) {
        blocks.emplace_back();
        list.clear();
      }
      Block& block = blocks.back();
      for (uint32_t vertex : {triangle.a, triangle.b, triangle.c}) {
        const int64_t stored = storedAs[vertex];
        // A block always starts with a vertex of its own: its first vertex is
        // stored whether or not an index introduces it.
        const bool reusable = stored >= 0 && counter - stored <= kMaxDistance && !block.vertices.empty();
        Corner corner{Corner::kNew, 0};
        if (reusable) {
          corner = {Corner::kDistance, static_cast<uint32_t>(counter - stored)};
          for (uint32_t back = 0; back < 3 && back < list.size(); ++back) {
            if (list[list.size() - 1 - back] == stored) {
              corner = {Corner::kRecent, back};
              break;
            }
          }
        } else {
          storedAs[vertex] = ++counter;
          block.vertices.push_back(vertex);
          vertexSource_.push_back(vertex);
        }
        list.push_back(storedAs[vertex]);
        block.corners.push_back(corner);
      }
      ++block.triangleCount;
    }
    return blocks;
  }

  QuantizedVertex QuantizeVertex(uint32_t vertex) const {
    const cxm::Vec3f& p = mesh_.positions[vertex];
    QuantizedVertex q;
    q.position[0] = Quantize(p.x, bounds_[0], bounds_[1], axisBits_[0]);
    q.position[1] = Quantize(p.y, bounds_[2], bounds_[3], axisBits_[1]);
    q.position[2] = Quantize(p.z, bounds_[4], bounds_[5], axisBits_[2]);
    q.normal = EncodeOctahedralNormal(mesh_.normals.empty() ? cxm::Vec3f{0, 0, 1} : mesh_.normals[vertex]);
    for (const auto& set : mesh_.uvSets) {
      q.uvs.push_back(
          {QuantizeUv(set[vertex].u, uOffset_, uvBits_), QuantizeUv(1.0f - set[vertex].v, vOffset_, uvBits_)});
    }
    if (!mesh_.colors.empty()) {
      const cxm::Vec4f& c = mesh_.colors[vertex];
      q.color = {UnitByte(c.x), UnitByte(c.y), UnitByte(c.z), UnitByte(c.w)};
    }
    return q;
  }

  void WriteDelta(int32_t value, int32_t previous, unsigned absoluteBits) {
    const int32_t delta = value - previous;
    if (delta >= -kDeltaBias && delta <= kDeltaBias) {
      writer_.Write(static_cast<uint32_t>(delta + kDeltaBias), 8);
    } else {
      writer_.Write(kDeltaEscape, 8);
      writer_.Write(static_cast<uint32_t>(value), absoluteBits);
    }
  }

  void WriteColor(const QuantizedVertex& q) {
    for (int channel = 0; channel < (mesh_.colorsHaveAlpha ? 4 : 3); ++channel) {
      writer_.Write(q.color[channel], 8);
    }
  }

  void WriteBlock(const Block& block) {
    const bool colors = !mesh_.colors.empty();
    const QuantizedVertex first = QuantizeVertex(block.vertices.front());
    for (int32_t axis : first.position) writer_.Write(static_cast<uint32_t>(axis), 16);
    writer_.Write(first.normal[0], 8);
    writer_.Write(first.normal[1], 8);
    writer_.Write(static_cast<uint32_t>(first.uvs.size()), 16);
    for (const auto& uv : first.uvs) {
      writer_.Write(static_cast<uint32_t>(uv[0]), uvBits_);
      writer_.Write(static_cast<uint32_t>(uv[1]), uvBits_);
    }
    writer_.Write(static_cast<uint32_t>(block.vertices.size()), 16);
    writer_.Write(block.triangleCount, 16);
    if (options_.version >= 5) {
      writer_.Write(colors ? 1 : 0, 8);
      if (colors) {
        writer_.Write(mesh_.colorsHaveAlpha ? 4 : 3, 8);
        WriteColor(first);
      }
    }
    QuantizedVertex previous = first;
    for (size_t i = 1; i < block.vertices.size(); ++i) {
      const QuantizedVertex q = QuantizeVertex(block.vertices[i]);
      for (int axis = 0; axis < 3; ++axis) WriteDelta(q.position[axis], previous.position[axis], 16);
      writer_.Write(q.normal[0], 8);
      writer_.Write(q.normal[1], 8);
      for (size_t k = 0; k < q.uvs.size(); ++k) {
        WriteDelta(q.uvs[k][0], previous.uvs[k][0], uvBits_);
        WriteDelta(q.uvs[k][1], previous.uvs[k][1], uvBits_);
      }
      if (colors) WriteColor(q);
      previous = q;
    }
    for (const Corner& corner : block.corners) WriteCorner(corner);
  }

  void WriteCorner(const Corner& corner) {
    if (corner.kind == Corner::kNew) {
      writer_.Write(0, 1);
      return;
    }
    writer_.Write(1, 1);
    if (corner.kind == Corner::kRecent) {
      writer_.Write(corner.value, 2);
      return;
    }
    writer_.Write(3, 2);
    if (corner.value < kLongDistanceMark) {
      writer_.Write(corner.value, 5);
    } else {
      writer_.Write(kLongDistanceMark, 5);
      writer_.Write(corner.value, 16);
    }
  }

  const MeshToEncode& mesh_;
  const MeshEncodeOptions& options_;
  unsigned uvBits_;
  std::array<float, 6> bounds_{};
  std::array<uint32_t, 3> axisBits_ = {11, 11, 11};
  float uOffset_ = 0.0f;
  float vOffset_ = 0.0f;
  BitWriter writer_;
  std::vector<uint32_t> vertexSource_;
};

}  // namespace

std::array<uint8_t, 2> EncodeOctahedralNormal(cxm::Vec3f normal) {
  const float length = std::fabs(normal.x) + std::fabs(normal.y) + std::fabs(normal.z);
  if (!(length > 0.0f)) normal = {0, 0, 1};
  const float l1 = length > 0.0f ? length : 1.0f;
  float x = normal.x / l1;
  float y = normal.y / l1;
  if (normal.z < 0.0f) {
    const float fx = (1.0f - std::fabs(y)) * (x >= 0.0f ? 1.0f : -1.0f);
    const float fy = (1.0f - std::fabs(x)) * (y >= 0.0f ? 1.0f : -1.0f);
    x = fx;
    y = fy;
  }
  const float unitLength = std::sqrt(Dot(normal, normal));
  const cxm::Vec3f target = {normal.x / unitLength, normal.y / unitLength, normal.z / unitLength};
  const int centerA = static_cast<int>(std::lround((x + 1.0f) * 0.5f * 255.0f));
  const int centerB = static_cast<int>(std::lround((y + 1.0f) * 0.5f * 255.0f));
  std::array<uint8_t, 2> best = {0, 0};
  float bestDot = -2.0f;
  for (int a = centerA - 1; a <= centerA + 1; ++a) {
    for (int b = centerB - 1; b <= centerB + 1; ++b) {
      if (a < 0 || a > 255 || b < 0 || b > 255) continue;
      const float dot = Dot(ComputeOctahedralNormal(static_cast<uint8_t>(a), static_cast<uint8_t>(b)), target);
      if (dot > bestDot) {
        bestDot = dot;
        best = {static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
      }
    }
  }
  return best;
}

EncodedMesh EncodeMesh(const MeshToEncode& mesh, const MeshEncodeOptions& options) {
  ValidateInput(mesh, options);
  return StreamEncoder(mesh, options).Encode();
}

}  // namespace ovra::tools
