#include "content/mesh_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "content/bit_reader.h"
#include "content/octahedral_normal.h"

namespace ovra {

namespace {

constexpr uint32_t kDefaultAxisBits = 11;
constexpr uint32_t kMaxAxisBits = 16;
constexpr uint32_t kDeltaEscape = 255;
constexpr int32_t kDeltaBias = 127;
constexpr float kUvStep = 0.00048828125f;  // 1/2048
constexpr int32_t kNewestVersion = 5;
constexpr uint64_t kWorstIndexBits = 1 + 2 + 5 + 16;

// Bits one further vertex of a block takes at most, and at least.
uint64_t WorstVertexBits(uint64_t uvCount, unsigned uvBits, bool colors) {
  return 3 * (8 + 16) + 16 + uvCount * 2 * (8 + uvBits) + (colors ? 32 : 0);
}
uint64_t LeastVertexBits(uint64_t uvCount, bool colors) {
  return 3 * 8 + 16 + uvCount * 2 * 8 + (colors ? 24 : 0);
}

// Room for `extra` more elements, keeping geometric growth across blocks.
template <typename T>
void ReserveMore(std::vector<T>& v, size_t extra) {
  const size_t needed = v.size() + extra;
  if (needed > v.capacity()) v.reserve(std::max(needed, v.capacity() * 2));
}

template <typename T>
cxm::SharedArray<T> Share(std::vector<T>&& v) {
  return std::make_shared<const std::vector<T>>(std::move(v));
}

struct QuantizedPosition {
  int32_t x, y, z;
};

struct QuantizedUv {
  int32_t u, v;
};

// Per-block colour layout: no colours, RGB, or RGBA.
struct BlockColors {
  bool present = false;
  bool alpha = false;
};

class MeshStreamDecoder {
 public:
  MeshStreamDecoder(const uint8_t* data, size_t size) : data_(data), size_(size), reader_(data, size) {}

  MeshDecodeError Run(const float defaultBounds[6], const ModelMaterial* material) {
    ReadMagic();
    if (const MeshDecodeError error = ReadHeader(defaultBounds, material); error != MeshDecodeError::kNone) {
      return error;
    }
    while (!reader_.AtEnd()) {
      if (const MeshDecodeError error = DecodeBlock(); error != MeshDecodeError::kNone) return error;
      reader_.AlignToByte();
    }
    return MeshDecodeError::kNone;
  }

  cxm::Mesh TakeMesh(bool withGeometry) {
    cxm::Mesh mesh;
    mesh.materials = std::move(materials_);
    if (!withGeometry) return mesh;
    mesh.positions = Share(std::move(positions_));
    mesh.colors = Share(std::move(colors_));
    mesh.colorsHaveAlpha = colorsHaveAlpha_;
    mesh.normals = Share(std::move(normals_));
    mesh.triangles = Share(std::move(triangles_));
    mesh.uvSets = Share(std::move(uvSets_));
    return mesh;
  }

 private:
  template <bool kChecked = true>
  uint32_t Read(unsigned bits) {
    return reader_.Read<kChecked>(bits);
  }

  bool StartsWith(const char* magic, size_t length) const {
    return size_ >= length && std::memcmp(data_, magic, length) == 0;
  }

  void ReadMagic() {
    if (StartsWith("tzmc", 4)) {
      version_ = 0;
      reader_.Skip(32);
    } else if (StartsWith("_tzmc", 5)) {
      reader_.Skip(40);
      version_ = std::min(static_cast<int32_t>(Read(24)), kNewestVersion);
    }
  }

  float ReadFloat() {
    uint32_t bits = 0;
    for (unsigned shift = 0; shift < 32; shift += 8) bits |= Read(8) << shift;
    return std::bit_cast<float>(bits);
  }

  MeshDecodeError ReadHeader(const float defaultBounds[6], const ModelMaterial* material) {
    float bounds[6];
    for (int i = 0; i < 6; ++i) bounds[i] = version_ >= 0 ? ReadFloat() : defaultBounds[i];
    if (version_ >= 1) {
      uOffset_ = ReadFloat();
      ReadFloat();
      vOffset_ = ReadFloat();
      ReadFloat();
      uvBits_ = 24;
    }
    uint32_t axisBits[3] = {kDefaultAxisBits, kDefaultAxisBits, kDefaultAxisBits};
    if (version_ >= 3) {
      for (uint32_t& bits : axisBits) bits = Read(8);
    }
    if (version_ < 4) {
      ReadEmbeddedMaterial();
    } else if (material != nullptr) {
      materials_.push_back(*material);
    }
    if (reader_.Failed()) return MeshDecodeError::kTruncated;
    for (int axis = 0; axis < 3; ++axis) {
      if (axisBits[axis] == 0 || axisBits[axis] > kMaxAxisBits) return MeshDecodeError::kBadAxisWidth;
      minimum_[axis] = bounds[2 * axis];
      extent_[axis] = bounds[2 * axis + 1] - bounds[2 * axis];
      step_[axis] = 1.0f / static_cast<float>((1u << axisBits[axis]) - 1);
    }
    return MeshDecodeError::kNone;
  }

  float ReadUnit() { return static_cast<float>(Read(8)) / 255.0f; }
  int32_t ReadIndexMinusOne() { return static_cast<int32_t>(Read(8)) - 1; }
  // -1 for 0, else 0: the truncation of b / 255 - 1.
  int32_t ReadPresence() { return Read(8) == 0 ? -1 : 0; }
  // 1 for 255, else 0: the truncation of b / 255.
  int32_t ReadFull() { return Read(8) == 255 ? 1 : 0; }

  void ReadEmbeddedMaterial() {
    ModelMaterial m;
    m.albedo.x = ReadUnit();
    m.albedo.y = ReadUnit();
    m.albedo.z = ReadUnit();
    m.albedo.w = ReadUnit();
    m.albedoMap = ReadIndexMinusOne();
    m.albedoUvs = ReadIndexMinusOne();
    m.emissiveScale.x = ReadUnit();
    m.emissiveScale.y = ReadUnit();
    m.emissiveScale.z = ReadUnit();
    m.emissiveMap = ReadIndexMinusOne();
    m.emissiveUvs = ReadIndexMinusOne();
    m.metalness = ReadUnit();
    m.roughness = ReadUnit();
    m.metalRoughnessMap = ReadIndexMinusOne();
    m.metalRoughnessUvs = ReadIndexMinusOne();
    m.normalScale = ReadUnit();
    m.normalMap = ReadPresence();
    m.normalUvs = ReadPresence();
    m.occlusionScale = ReadUnit();
    m.occlusionMap = ReadPresence();
    m.occlusionUvs = ReadPresence();
    if (version_ >= 2) {
      m.lightMap = ReadFull();
      m.lightUvs = ReadFull();
      m.lightMapRGBM = Read(8) != 0;
    }
    m.alphaMode = static_cast<uint8_t>(Read(8));
    if (version_ >= 3) m.doubleSided = Read(8) != 0;
    if (!reader_.Failed()) materials_.push_back(m);
  }

  template <bool kChecked>
  int32_t ReadDelta(int32_t previous, unsigned absoluteBits) {
    const uint32_t delta = Read<kChecked>(8);
    if (delta == kDeltaEscape) return static_cast<int32_t>(Read<kChecked>(absoluteBits));
    return previous + static_cast<int32_t>(delta) - kDeltaBias;
  }

  void AppendPosition(const QuantizedPosition& q) {
    positions_.push_back({static_cast<float>(q.x) * step_[0] * extent_[0] + minimum_[0],
                          static_cast<float>(q.y) * step_[1] * extent_[1] + minimum_[1],
                          static_cast<float>(q.z) * step_[2] * extent_[2] + minimum_[2]});
  }

  void AppendUvs() {
    for (size_t k = 0; k < uvs_.size(); ++k) {
      uvSets_[k].push_back({(static_cast<float>(uvs_[k].u) + 0.5f) * kUvStep + uOffset_,
                            1.0f - ((static_cast<float>(uvs_[k].v) + 0.5f) * kUvStep + vOffset_)});
    }
  }

  template <bool kChecked>
  void AppendColor(bool alpha) {
    const float r = static_cast<float>(Read<kChecked>(8)) / 255.0f;
    const float g = static_cast<float>(Read<kChecked>(8)) / 255.0f;
    const float b = static_cast<float>(Read<kChecked>(8)) / 255.0f;
    const float a = static_cast<float>(alpha ? Read<kChecked>(8) : 255u) / 255.0f;
    colors_.push_back({r, g, b, a});
  }

  template <bool kChecked>
  void DecodeFurtherVertex(QuantizedPosition& q, BlockColors colors) {
    q.x = ReadDelta<kChecked>(q.x, 16);
    q.y = ReadDelta<kChecked>(q.y, 16);
    q.z = ReadDelta<kChecked>(q.z, 16);
    const auto o1 = static_cast<uint8_t>(Read<kChecked>(8));
    const auto o2 = static_cast<uint8_t>(Read<kChecked>(8));
    for (QuantizedUv& uv : uvs_) {
      uv.u = ReadDelta<kChecked>(uv.u, uvBits_);
      uv.v = ReadDelta<kChecked>(uv.v, uvBits_);
    }
    if (colors.present) AppendColor<kChecked>(colors.alpha);
    AppendPosition(q);
    normals_.push_back(OctahedralNormal(o1, o2));
    AppendUvs();
  }

  MeshDecodeError DecodeBlock() {
    QuantizedPosition q{static_cast<int32_t>(Read(16)), static_cast<int32_t>(Read(16)),
                        static_cast<int32_t>(Read(16))};
    const auto o1 = static_cast<uint8_t>(Read(8));
    const auto o2 = static_cast<uint8_t>(Read(8));
    const uint32_t uvCount = Read(16);
    // Every pair takes bits: a count the buffer cannot hold is a truncation,
    // found before anything is sized by it.
    if (reader_.Failed() || uint64_t{uvCount} * 2 * uvBits_ > reader_.RemainingBits()) {
      return MeshDecodeError::kTruncated;
    }
    if (uvSets_.size() < uvCount) uvSets_.resize(uvCount);
    uvs_.resize(uvCount);
    for (QuantizedUv& uv : uvs_) {
      uv.u = static_cast<int32_t>(Read(uvBits_));
      uv.v = static_cast<int32_t>(Read(uvBits_));
    }
    const uint32_t vertexCount = Read(16);
    const uint32_t triangleCount = Read(16);
    BlockColors colors;
    if (version_ >= 5 && Read(8) != 0) {
      colors.present = true;
      colors.alpha = Read(8) >= 4;
      colorsHaveAlpha_ = colors.alpha;
      AppendColor<true>(colors.alpha);
    }
    if (reader_.Failed()) return MeshDecodeError::kTruncated;
    AppendPosition(q);
    normals_.push_back(OctahedralNormal(o1, o2));
    AppendUvs();

    if (const MeshDecodeError error = DecodeFurtherVertices(vertexCount, q, colors);
        error != MeshDecodeError::kNone) {
      return error;
    }
    return DecodeTriangles(triangleCount);
  }

  MeshDecodeError DecodeFurtherVertices(uint32_t vertexCount, QuantizedPosition& q, BlockColors colors) {
    const uint32_t further = vertexCount > 1 ? vertexCount - 1 : 0;
    const uint64_t affordable =
        reader_.RemainingBits() / LeastVertexBits(uvs_.size(), colors.present) + 1;
    const auto reserve = static_cast<size_t>(std::min<uint64_t>(further, affordable));
    ReserveMore(positions_, reserve);
    ReserveMore(normals_, reserve);
    if (colors.present) ReserveMore(colors_, reserve);
    for (size_t k = 0; k < uvs_.size(); ++k) ReserveMore(uvSets_[k], reserve);

    const uint64_t worst = WorstVertexBits(uvs_.size(), uvBits_, colors.present);
    for (uint32_t i = 0; i < further; ++i) {
      if (reader_.HasHeadroom(worst)) {
        DecodeFurtherVertex<false>(q, colors);
      } else {
        DecodeFurtherVertex<true>(q, colors);
        if (reader_.Failed()) return MeshDecodeError::kTruncated;
      }
    }
    return MeshDecodeError::kNone;
  }

  MeshDecodeError DecodeTriangles(uint32_t triangleCount) {
    const uint32_t indexCount = 3 * triangleCount;
    indices_.clear();
    indices_.reserve(static_cast<size_t>(std::min<uint64_t>(indexCount, reader_.RemainingBits())));
    const MeshDecodeError error = reader_.HasHeadroom(uint64_t{indexCount} * kWorstIndexBits)
                                      ? DecodeIndices<false>(indexCount)
                                      : DecodeIndices<true>(indexCount);
    if (error != MeshDecodeError::kNone) return error;
    if (counter_ >= static_cast<int64_t>(positions_.size())) return MeshDecodeError::kIndexOutOfRange;
    ReserveMore(triangles_, triangleCount);
    for (size_t i = 0; i + 2 < indices_.size(); i += 3) {
      triangles_.push_back({indices_[i], indices_[i + 1], indices_[i + 2]});
    }
    return MeshDecodeError::kNone;
  }

  // Every index is at most the running counter, so checking the counter
  // against the stored vertices afterwards covers all of them.
  template <bool kChecked>
  MeshDecodeError DecodeIndices(uint32_t count) {
    int64_t counter = counter_;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t flag = Read<kChecked>(1);
      uint32_t code = 0;
      uint32_t distance = 0;
      if (flag != 0) {
        code = Read<kChecked>(2);
        if (code == 3) {
          distance = Read<kChecked>(5);
          if (distance >= 31) distance = Read<kChecked>(16);
        }
      }
      if constexpr (kChecked) {
        if (reader_.Failed()) return MeshDecodeError::kTruncated;
      }
      int64_t index;
      if (flag == 0) {
        index = ++counter;
      } else if (code < 3) {
        if (code >= indices_.size()) return MeshDecodeError::kBadBackReference;
        index = indices_[indices_.size() - 1 - code];
      } else {
        if (distance > counter) return MeshDecodeError::kBadBackReference;
        index = counter - distance;
      }
      indices_.push_back(static_cast<uint32_t>(index));
    }
    counter_ = counter;
    return MeshDecodeError::kNone;
  }

  const uint8_t* data_;
  size_t size_;
  BitReader reader_;
  int32_t version_ = -1;
  unsigned uvBits_ = 16;
  float minimum_[3] = {};
  float extent_[3] = {};
  float step_[3] = {};
  float uOffset_ = 0.0f;
  float vOffset_ = 0.0f;
  // Highest vertex index introduced so far, across blocks.
  int64_t counter_ = -1;
  std::vector<QuantizedUv> uvs_;  // the block's previous texture coordinates
  std::vector<uint32_t> indices_;  // the block's index list

  std::vector<cxm::Vec3f> positions_;
  std::vector<cxm::Vec4f> colors_;
  bool colorsHaveAlpha_ = false;
  std::vector<cxm::Vec3f> normals_;
  std::vector<cxm::Vec3u> triangles_;
  std::vector<std::vector<cxm::Vec2f>> uvSets_;
  std::vector<ModelMaterial> materials_;
};

}  // namespace

std::string_view MeshDecodeErrorText(MeshDecodeError error) {
  switch (error) {
    case MeshDecodeError::kNone: return "no error";
    case MeshDecodeError::kTruncated: return "the stream ends inside a field";
    case MeshDecodeError::kBadAxisWidth: return "a position axis width is 0 or above 16";
    case MeshDecodeError::kBadBackReference: return "an index refers to no earlier vertex";
    case MeshDecodeError::kIndexOutOfRange: return "an index names a vertex the stream does not hold";
  }
  return "unknown error";
}

cxm::Mesh DecodeMesh(const uint8_t* data, size_t sizeInBytes, const float defaultBounds[6],
                     const ModelMaterial* material, MeshDecodeError* error) {
  MeshStreamDecoder decoder(data, sizeInBytes);
  const MeshDecodeError result = decoder.Run(defaultBounds, material);
  if (error != nullptr) *error = result;
  return decoder.TakeMesh(result == MeshDecodeError::kNone);
}

}  // namespace ovra
