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
      SkipBytes(4);
    } else if (StartsWith("_tzmc", 5)) {
      SkipBytes(5);
      version_ = std::min(static_cast<int32_t>(Read(24)), kNewestVersion);
    }
  }

  void SkipBytes(int count) {
    for (int i = 0; i < count; ++i) Read(8);
  }

  float ReadFloat() {
    uint32_t bits = 0;
    for (unsigned shift = 0; shift < 32; shift += 8) bits |= Read(8) << shift;
    return std::bit_cast<float>(bits);
  }

  MeshDecodeError ReadHeader(const float defaultBounds[6], const ModelMaterial* material) {
    float bounds[6];
    for (int i = 0; i < 6; ++i) {
      bounds[i] = version_ >= 0 ? ReadFloat() : (defaultBounds != nullptr ? defaultBounds[i] : 0.0f);
    }
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
  static int32_t ReadDelta(BitReader& reader, int32_t previous, unsigned absoluteBits) {
    const uint32_t delta = reader.Read<kChecked>(8);
    if (delta == kDeltaEscape) return static_cast<int32_t>(reader.Read<kChecked>(absoluteBits));
    return previous + static_cast<int32_t>(delta) - kDeltaBias;
  }

  cxm::Vec3f Dequantize(const QuantizedPosition& q) const {
    return {static_cast<float>(q.x) * step_[0] * extent_[0] + minimum_[0],
            static_cast<float>(q.y) * step_[1] * extent_[1] + minimum_[1],
            static_cast<float>(q.z) * step_[2] * extent_[2] + minimum_[2]};
  }

  cxm::Vec2f UvOf(const QuantizedUv& uv) const {
    return {(static_cast<float>(uv.u) + 0.5f) * kUvStep + uOffset_,
            1.0f - ((static_cast<float>(uv.v) + 0.5f) * kUvStep + vOffset_)};
  }

  template <bool kChecked>
  static cxm::Vec4f ReadColor(BitReader& reader, bool alpha) {
    const float r = static_cast<float>(reader.Read<kChecked>(8)) / 255.0f;
    const float g = static_cast<float>(reader.Read<kChecked>(8)) / 255.0f;
    const float b = static_cast<float>(reader.Read<kChecked>(8)) / 255.0f;
    const float a = static_cast<float>(alpha ? reader.Read<kChecked>(8) : 255u) / 255.0f;
    return {r, g, b, a};
  }

  void AppendFirstVertex(const QuantizedPosition& q, uint8_t o1, uint8_t o2) {
    positions_.push_back(Dequantize(q));
    normals_.push_back(ComputeOctahedralNormal(o1, o2));
    for (size_t k = 0; k < uvs_.size(); ++k) uvSets_[k].push_back(UvOf(uvs_[k]));
  }

  // Where the block's further vertices go: each output array grown by the
  // block's count up front, so that the vertex loop only stores.
  struct VertexOutput {
    cxm::Vec3f* positions;
    cxm::Vec3f* normals;
    cxm::Vec4f* colors;
    std::vector<cxm::Vec2f*> uvSets;
  };

  template <typename T>
  static T* Grow(std::vector<T>& v, size_t count) {
    const size_t base = v.size();
    v.resize(base + count);
    return v.data() + base;
  }

  VertexOutput GrowOutput(size_t count, bool colors) {
    VertexOutput out{Grow(positions_, count), Grow(normals_, count),
                     colors ? Grow(colors_, count) : nullptr, {}};
    for (size_t k = 0; k < uvs_.size(); ++k) out.uvSets.push_back(Grow(uvSets_[k], count));
    return out;
  }

  template <bool kChecked>
  void DecodeFurtherVertex(BitReader& reader, QuantizedPosition& q, BlockColors colors,
                           const VertexOutput& out, size_t i) {
    q.x = ReadDelta<kChecked>(reader, q.x, 16);
    q.y = ReadDelta<kChecked>(reader, q.y, 16);
    q.z = ReadDelta<kChecked>(reader, q.z, 16);
    const auto o1 = static_cast<uint8_t>(reader.Read<kChecked>(8));
    const auto o2 = static_cast<uint8_t>(reader.Read<kChecked>(8));
    for (size_t k = 0; k < uvs_.size(); ++k) {
      QuantizedUv& uv = uvs_[k];
      uv.u = ReadDelta<kChecked>(reader, uv.u, uvBits_);
      uv.v = ReadDelta<kChecked>(reader, uv.v, uvBits_);
      out.uvSets[k][i] = UvOf(uv);
    }
    if (colors.present) out.colors[i] = ReadColor<kChecked>(reader, colors.alpha);
    out.positions[i] = Dequantize(q);
    out.normals[i] = ComputeOctahedralNormal(o1, o2);
  }

  // The common vertex: no colours, at most one coordinate set and no escaped
  // delta. Its fields are all bytes and fit one 56-bit window, parsed at
  // once. Returns false, consuming nothing, for any other vertex.
  bool DecodePlainVertex(BitReader& reader, QuantizedPosition& q, const VertexOutput& out, size_t i) {
    const uint64_t window = reader.PeekWindow();
    auto byte = [window](int n) { return static_cast<uint32_t>(window >> (56 - 8 * n)) & 0xFF; };
    const bool withUv = !uvs_.empty();
    if (byte(0) == kDeltaEscape || byte(1) == kDeltaEscape || byte(2) == kDeltaEscape ||
        (withUv && (byte(5) == kDeltaEscape || byte(6) == kDeltaEscape))) {
      return false;
    }
    q.x += static_cast<int32_t>(byte(0)) - kDeltaBias;
    q.y += static_cast<int32_t>(byte(1)) - kDeltaBias;
    q.z += static_cast<int32_t>(byte(2)) - kDeltaBias;
    out.positions[i] = Dequantize(q);
    out.normals[i] = ComputeOctahedralNormal(static_cast<uint8_t>(byte(3)), static_cast<uint8_t>(byte(4)));
    if (withUv) {
      QuantizedUv& uv = uvs_[0];
      uv.u += static_cast<int32_t>(byte(5)) - kDeltaBias;
      uv.v += static_cast<int32_t>(byte(6)) - kDeltaBias;
      out.uvSets[0][i] = UvOf(uv);
    }
    reader.Skip(withUv ? 56 : 40);
    return true;
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
      colors_.push_back(ReadColor<true>(reader_, colors.alpha));
    }
    if (reader_.Failed()) return MeshDecodeError::kTruncated;
    AppendFirstVertex(q, o1, o2);

    if (const MeshDecodeError error = DecodeFurtherVertices(vertexCount, q, colors);
        error != MeshDecodeError::kNone) {
      return error;
    }
    return DecodeTriangles(triangleCount);
  }

  // The hot loops work on a local copy of the reader, which the compiler can
  // keep in registers.
  MeshDecodeError DecodeFurtherVertices(uint32_t vertexCount, QuantizedPosition& q, BlockColors colors) {
    const uint32_t further = vertexCount > 1 ? vertexCount - 1 : 0;
    if (uint64_t{further} * LeastVertexBits(uvs_.size(), colors.present) > reader_.RemainingBits()) {
      return MeshDecodeError::kTruncated;
    }
    const VertexOutput out = GrowOutput(further, colors.present);
    const uint64_t worst = WorstVertexBits(uvs_.size(), uvBits_, colors.present);
    const bool plainLayout = uvs_.size() <= 1 && !colors.present;
    BitReader reader = reader_;
    for (uint32_t i = 0; i < further; ++i) {
      if (reader.HasHeadroom(worst)) {
        if (plainLayout && DecodePlainVertex(reader, q, out, i)) continue;
        DecodeFurtherVertex<false>(reader, q, colors, out, i);
      } else {
        DecodeFurtherVertex<true>(reader, q, colors, out, i);
        if (reader.Failed()) return MeshDecodeError::kTruncated;
      }
    }
    reader_ = reader;
    return MeshDecodeError::kNone;
  }

  struct IndexCode {
    enum Kind { kNew, kRecent, kDistance } kind;
    uint32_t value;  // recent: 0 to 2 back in the list; distance: vertices back
  };

  MeshDecodeError DecodeTriangles(uint32_t triangleCount) {
    const uint32_t indexCount = 3 * triangleCount;
    if (indexCount > reader_.RemainingBits()) return MeshDecodeError::kTruncated;
    if (indices_.size() < indexCount) indices_.resize(indexCount);
    const MeshDecodeError error = DecodeIndices(indexCount);
    if (error != MeshDecodeError::kNone) return error;
    if (counter_ >= static_cast<int64_t>(positions_.size())) return MeshDecodeError::kIndexOutOfRange;
    cxm::Vec3u* out = Grow(triangles_, triangleCount);
    const uint32_t* list = indices_.data();
    for (uint32_t t = 0; t < triangleCount; ++t) out[t] = {list[3 * t], list[3 * t + 1], list[3 * t + 2]};
    return MeshDecodeError::kNone;
  }

  // Every index is at most the running counter, so checking the counter
  // against the stored vertices afterwards covers all of them. Indices are
  // read unchecked while the stream holds the worst case of a triangle's
  // worth, and checked near its end.
  MeshDecodeError DecodeIndices(uint32_t count) {
    BitReader reader = reader_;
    uint32_t* list = indices_.data();
    int64_t counter = counter_;
    uint32_t i = 0;
    for (; i < count; ++i) {
      if (i % 3 == 0 && !reader.HasHeadroom(3 * kWorstIndexBits)) break;
      if (const MeshDecodeError error = Store(ReadIndexCode<false>(reader), i, list, counter);
          error != MeshDecodeError::kNone) {
        return error;
      }
    }
    for (; i < count; ++i) {
      const IndexCode code = ReadIndexCode<true>(reader);
      if (reader.Failed()) return MeshDecodeError::kTruncated;
      if (const MeshDecodeError error = Store(code, i, list, counter); error != MeshDecodeError::kNone) return error;
    }
    reader_ = reader;
    counter_ = counter;
    return MeshDecodeError::kNone;
  }

  // Resolves index `i` of the block's list from its code.
  static MeshDecodeError Store(const IndexCode& code, uint32_t i, uint32_t* list, int64_t& counter) {
    int64_t index;
    if (code.kind == IndexCode::kNew) {
      index = ++counter;
    } else if (code.kind == IndexCode::kRecent) {
      if (code.value >= i) return MeshDecodeError::kBadBackReference;
      index = list[i - 1 - code.value];
    } else {
      if (code.value > counter) return MeshDecodeError::kBadBackReference;
      index = counter - code.value;
    }
    list[i] = static_cast<uint32_t>(index);
    return MeshDecodeError::kNone;
  }

  // Flag, code and short distance fit in 8 bits: one look at the stream
  // decides how many of them belong to this index.
  template <bool kChecked>
  static IndexCode ReadIndexCode(BitReader& reader) {
    if constexpr (!kChecked) {
      const uint32_t head = reader.Peek(8);
      if ((head & 0x80) == 0) {
        reader.Skip(1);
        return {IndexCode::kNew, 0};
      }
      const uint32_t code = (head >> 5) & 3;
      if (code < 3) {
        reader.Skip(3);
        return {IndexCode::kRecent, code};
      }
      reader.Skip(8);
      const uint32_t distance = head & 31;
      return {IndexCode::kDistance, distance < 31 ? distance : reader.Read<false>(16)};
    } else {
      if (reader.Read<true>(1) == 0) return {IndexCode::kNew, 0};
      const uint32_t code = reader.Read<true>(2);
      if (code < 3) return {IndexCode::kRecent, code};
      const uint32_t distance = reader.Read<true>(5);
      return {IndexCode::kDistance, distance < 31 ? distance : reader.Read<true>(16)};
    }
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
  std::vector<uint32_t> indices_;  // the block's index list, reused across blocks

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
