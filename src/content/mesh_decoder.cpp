#include "content/mesh_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "content/bit_reader.h"
#include "content/mesh_stream_format.h"
#include "content/octahedral_normal.h"

namespace ovra {

namespace {

constexpr uint32_t kDefaultAxisBits = 11;
constexpr uint32_t kMaxAxisBits = 16;
using mesh_stream::kDeltaBias;
using mesh_stream::kDeltaEscape;
using mesh_stream::kLongDistanceMark;
constexpr float kUvStep = 1.0f / mesh_stream::kUvUnitsPerTexture;
constexpr uint64_t kWorstIndexBits = 1 + 2 + 5 + 16;

// Bits one further vertex of a block takes at most, and at least.
uint64_t WorstVertexBits(uint64_t uvCount, unsigned uvBits, bool colors) {
  return 3 * (8 + 16) + 16 + uvCount * 2 * (8 + uvBits) + (colors ? 32 : 0);
}
uint64_t LeastVertexBits(uint64_t uvCount, bool colors) { return 3 * 8 + 16 + uvCount * 2 * 8 + (colors ? 24 : 0); }

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
    for (bool first = true; !reader_.AtEnd(); first = false) {
      const uint64_t before = reader_.RemainingBits();
      if (const MeshDecodeError error = DecodeBlock(); error != MeshDecodeError::kNone) return error;
      reader_.AlignToByte();
      if (first) ReserveLikeFirstBlock(before - reader_.RemainingBits());
    }
    return MeshDecodeError::kNone;
  }

  // Blocks of one mesh are much alike: room for as many vertices and
  // triangles as the rest of the stream holds at the first block's density,
  // and an eighth more, spares the arrays a chain of doublings, each a copy
  // and a fresh set of pages.
  void ReserveLikeFirstBlock(uint64_t firstBlockBits) {
    const uint64_t rest = reader_.RemainingBits();
    if (rest == 0 || firstBlockBits == 0) return;
    const double scale = (1.0 + static_cast<double>(rest) / static_cast<double>(firstBlockBits)) * 1.125;
    auto reserve = [scale](auto& array) {
      array.reserve(static_cast<size_t>(static_cast<double>(array.size()) * scale));
    };
    reserve(positions_);
    reserve(normals_);
    reserve(colors_);
    reserve(triangles_);
    for (auto& set : uvSets_) reserve(set);
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

  bool StartsWith(std::string_view magic) const {
    return size_ >= magic.size() && std::memcmp(data_, magic.data(), magic.size()) == 0;
  }

  void ReadMagic() {
    if (StartsWith(mesh_stream::kMagic)) {
      version_ = 0;
      SkipBytes(mesh_stream::kMagic.size());
    } else if (StartsWith(mesh_stream::kVersionedMagic)) {
      SkipBytes(mesh_stream::kVersionedMagic.size());
      version_ = std::min(static_cast<int32_t>(Read(24)), mesh_stream::kNewestVersion);
    }
  }

  void SkipBytes(size_t count) {
    for (size_t i = 0; i < count; ++i) Read(8);
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
      dequantizer_.uOffset = ReadFloat();
      ReadFloat();
      dequantizer_.vOffset = ReadFloat();
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
      dequantizer_.minimum[axis] = bounds[2 * axis];
      dequantizer_.extent[axis] = bounds[2 * axis + 1] - bounds[2 * axis];
      dequantizer_.step[axis] = 1.0f / static_cast<float>((1u << axisBits[axis]) - 1);
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

  // An 8-bit delta, or 255 and an absolute value of `absoluteBits`. Unchecked,
  // one 32-bit look at the stream holds both, and the escape only picks
  // between the two values.
  template <bool kChecked, typename Reader>
  static int32_t ReadDelta(Reader& reader, int32_t previous, unsigned absoluteBits) {
    if constexpr (kChecked) {
      const uint32_t delta = reader.template Read<true>(8);
      if (delta == kDeltaEscape) return static_cast<int32_t>(reader.template Read<true>(absoluteBits));
      return previous + static_cast<int32_t>(delta) - kDeltaBias;
    } else {
      const uint32_t head = reader.Peek(32);
      const uint32_t delta = head >> 24;
      const bool escaped = delta == kDeltaEscape;
      reader.Skip(escaped ? 8 + absoluteBits : 8);
      const auto absolute = static_cast<int32_t>((head << 8) >> (32 - absoluteBits));
      return escaped ? absolute : previous + static_cast<int32_t>(delta) - kDeltaBias;
    }
  }

  // Quantised values to model units, with the header's constants held by
  // value: the vertex loops copy it, so that their float stores cannot make
  // the compiler reload the constants.
  struct Dequantizer {
    float minimum[3];
    float extent[3];
    float step[3];
    float uOffset;
    float vOffset;

    cxm::Vec3f Position(const QuantizedPosition& q) const {
      return {static_cast<float>(q.x) * step[0] * extent[0] + minimum[0],
              static_cast<float>(q.y) * step[1] * extent[1] + minimum[1],
              static_cast<float>(q.z) * step[2] * extent[2] + minimum[2]};
    }

    cxm::Vec2f Uv(const QuantizedUv& uv) const {
      return {(static_cast<float>(uv.u) + 0.5f) * kUvStep + uOffset,
              1.0f - ((static_cast<float>(uv.v) + 0.5f) * kUvStep + vOffset)};
    }
  };

  template <bool kChecked, typename Reader>
  static cxm::Vec4f ReadColor(Reader& reader, bool alpha) {
    const float r = static_cast<float>(reader.template Read<kChecked>(8)) / 255.0f;
    const float g = static_cast<float>(reader.template Read<kChecked>(8)) / 255.0f;
    const float b = static_cast<float>(reader.template Read<kChecked>(8)) / 255.0f;
    const float a = static_cast<float>(alpha ? reader.template Read<kChecked>(8) : 255u) / 255.0f;
    return {r, g, b, a};
  }

  void AppendFirstVertex(const QuantizedPosition& q, uint8_t o1, uint8_t o2) {
    positions_.push_back(dequantizer_.Position(q));
    normals_.push_back(ComputeOctahedralNormal(o1, o2));
    for (size_t k = 0; k < uvs_.size(); ++k) uvSets_[k].push_back(dequantizer_.Uv(uvs_[k]));
  }

  // Where the block's further vertices go: each output array grown by the
  // block's count up front, so that the vertex loop only stores.
  struct VertexOutput {
    cxm::Vec3f* positions;
    uint16_t* normalCodes;  // turned into normals once the block's vertices are read
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
    if (normalCodes_.size() < count) normalCodes_.resize(count);
    VertexOutput out{Grow(positions_, count), normalCodes_.data(), colors ? Grow(colors_, count) : nullptr, {}};
    for (size_t k = 0; k < uvs_.size(); ++k) out.uvSets.push_back(Grow(uvSets_[k], count));
    return out;
  }

  template <bool kChecked, typename Reader>
  void DecodeFurtherVertex(Reader& reader, QuantizedPosition& q, BlockColors colors, const VertexOutput& out,
                           size_t i) {
    q.x = ReadDelta<kChecked>(reader, q.x, 16);
    q.y = ReadDelta<kChecked>(reader, q.y, 16);
    q.z = ReadDelta<kChecked>(reader, q.z, 16);
    out.normalCodes[i] = static_cast<uint16_t>(reader.template Read<kChecked>(16));
    for (size_t k = 0; k < uvs_.size(); ++k) {
      QuantizedUv& uv = uvs_[k];
      uv.u = ReadDelta<kChecked>(reader, uv.u, uvBits_);
      uv.v = ReadDelta<kChecked>(reader, uv.v, uvBits_);
      out.uvSets[k][i] = dequantizer_.Uv(uv);
    }
    if (colors.present) out.colors[i] = ReadColor<kChecked>(reader, colors.alpha);
    out.positions[i] = dequantizer_.Position(q);
  }

  // Vertices [i, end) of the usual layout, no colours and at most one
  // coordinate set, with the running values in locals; unchecked.
  template <bool kWithUv>
  void DecodeUsualVertices(ByteReader& reader, QuantizedPosition& position, const VertexOutput& out, uint32_t i,
                           uint32_t end) {
    const Dequantizer dequantizer = dequantizer_;
    const unsigned uvBits = uvBits_;
    QuantizedPosition q = position;
    QuantizedUv uv = kWithUv ? uvs_[0] : QuantizedUv{};
    cxm::Vec2f* const uvOut = kWithUv ? out.uvSets[0] : nullptr;
    for (; i < end; ++i) {
      q.x = ReadDelta<false>(reader, q.x, 16);
      q.y = ReadDelta<false>(reader, q.y, 16);
      q.z = ReadDelta<false>(reader, q.z, 16);
      out.normalCodes[i] = static_cast<uint16_t>(reader.Read<false>(16));
      if constexpr (kWithUv) {
        uv.u = ReadDelta<false>(reader, uv.u, uvBits);
        uv.v = ReadDelta<false>(reader, uv.v, uvBits);
        uvOut[i] = dequantizer.Uv(uv);
      }
      out.positions[i] = dequantizer.Position(q);
    }
    position = q;
    if constexpr (kWithUv) uvs_[0] = uv;
  }

  // Vertices [i, end), which the stream surely holds; unchecked.
  void DecodeVertexRun(ByteReader& reader, QuantizedPosition& q, BlockColors colors, const VertexOutput& out,
                       uint32_t i, uint32_t end) {
    if (colors.present || uvs_.size() > 1) {
      for (; i < end; ++i) DecodeFurtherVertex<false>(reader, q, colors, out, i);
    } else if (uvs_.empty()) {
      DecodeUsualVertices<false>(reader, q, out, i, end);
    } else {
      DecodeUsualVertices<true>(reader, q, out, i, end);
    }
  }

  MeshDecodeError DecodeBlock() {
    QuantizedPosition q{static_cast<int32_t>(Read(16)), static_cast<int32_t>(Read(16)), static_cast<int32_t>(Read(16))};
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

    if (const MeshDecodeError error = DecodeFurtherVertices(vertexCount, q, colors); error != MeshDecodeError::kNone) {
      return error;
    }
    return DecodeTriangles(triangleCount);
  }

  // Runs of vertices the stream surely holds go unchecked, and by bytes: every
  // field before the index codes is whole bytes, so a block's vertices start
  // on a byte boundary and stay on them. Only the last few before the
  // stream's end are read field by field with checks, through a local copy of
  // the bit reader, which the compiler can keep in registers.
  MeshDecodeError DecodeFurtherVertices(uint32_t vertexCount, QuantizedPosition& q, BlockColors colors) {
    const uint32_t further = vertexCount > 1 ? vertexCount - 1 : 0;
    if (uint64_t{further} * LeastVertexBits(uvs_.size(), colors.present) > reader_.RemainingBits()) {
      return MeshDecodeError::kTruncated;
    }
    const VertexOutput out = GrowOutput(further, colors.present);
    const uint64_t worst = WorstVertexBits(uvs_.size(), uvBits_, colors.present);
    BitReader reader = reader_;
    uint32_t i = 0;
    while (i < further) {
      const uint64_t safe = reader.UnitsWithHeadroom(worst);
      if (safe == 0) {
        DecodeFurtherVertex<true>(reader, q, colors, out, i++);
        if (reader.Failed()) return MeshDecodeError::kTruncated;
        continue;
      }
      const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(further, i + safe));
      ByteReader bytes(data_ + reader.AlignedByte());
      DecodeVertexRun(bytes, q, colors, out, i, end);
      reader.SeekToByte(static_cast<size_t>(bytes.Position() - data_));
      i = end;
    }
    ComputeOctahedralNormals(out.normalCodes, further, Grow(normals_, further));
    reader_ = reader;
    return MeshDecodeError::kNone;
  }

  struct IndexCode {
    enum Kind { kNew, kRecent, kDistance } kind;
    uint32_t value;  // recent: 0 to 2 back in the list; distance: vertices back
  };

  // What index codes refer to: the running counter and the block list's last
  // three values, and how many values that list holds (up to three).
  struct IndexState {
    int64_t counter;
    uint32_t newest = 0;
    uint32_t second = 0;
    uint32_t third = 0;
    uint32_t held = 0;

    uint32_t Recent(uint32_t back) const { return back == 0 ? newest : back == 1 ? second : third; }

    void Push(uint32_t index) {
      third = second;
      second = newest;
      newest = index;
    }
  };

  // Decodes straight into the mesh's triangles. The first triangle of a block
  // is checked, since its codes may reach before the block's list; after it,
  // runs of triangles the stream surely holds go unchecked. Every index is at
  // most the running counter, so checking the counter against the stored
  // vertices afterwards covers all of them.
  MeshDecodeError DecodeTriangles(uint32_t triangleCount) {
    if (uint64_t{3} * triangleCount > reader_.RemainingBits()) return MeshDecodeError::kTruncated;
    cxm::Vec3u* const out = Grow(triangles_, triangleCount);
    BitReader reader = reader_;
    IndexState state{counter_};
    uint32_t t = 0;
    while (t < triangleCount) {
      const uint64_t safe = t == 0 ? 0 : reader.UnitsWithHeadroom(3 * kWorstIndexBits);
      if (safe == 0) {
        if (const MeshDecodeError error = DecodeTriangle<true>(reader, state, out[t++]);
            error != MeshDecodeError::kNone) {
          return error;
        }
        continue;
      }
      const auto end = static_cast<uint32_t>(std::min<uint64_t>(triangleCount, t + safe));
      for (; t < end; ++t) {
        if (const MeshDecodeError error = DecodeTriangle<false>(reader, state, out[t]);
            error != MeshDecodeError::kNone) {
          return error;
        }
      }
    }
    if (state.counter >= static_cast<int64_t>(positions_.size())) return MeshDecodeError::kIndexOutOfRange;
    reader_ = reader;
    counter_ = state.counter;
    return MeshDecodeError::kNone;
  }

  template <bool kChecked>
  static MeshDecodeError DecodeTriangle(BitReader& reader, IndexState& state, cxm::Vec3u& triangle) {
    MeshDecodeError error = DecodeIndex<kChecked>(reader, state, triangle.a);
    if (error == MeshDecodeError::kNone) error = DecodeIndex<kChecked>(reader, state, triangle.b);
    if (error == MeshDecodeError::kNone) error = DecodeIndex<kChecked>(reader, state, triangle.c);
    return error;
  }

  // Unchecked, only once the block's list holds three values. Inlined by
  // force: three calls per triangle outgrow the compiler's own limits.
  template <bool kChecked>
  [[gnu::always_inline]] static MeshDecodeError DecodeIndex(BitReader& reader, IndexState& state, uint32_t& index) {
    const IndexCode code = ReadIndexCode<kChecked>(reader);
    if (kChecked && reader.Failed()) return MeshDecodeError::kTruncated;
    switch (code.kind) {
      case IndexCode::kNew: index = static_cast<uint32_t>(++state.counter); break;
      case IndexCode::kRecent:
        if (kChecked && code.value >= state.held) return MeshDecodeError::kBadBackReference;
        index = state.Recent(code.value);
        break;
      case IndexCode::kDistance:
        if (code.value > state.counter) return MeshDecodeError::kBadBackReference;
        index = static_cast<uint32_t>(state.counter - code.value);
        break;
    }
    state.Push(index);
    if (kChecked && state.held < 3) ++state.held;
    return MeshDecodeError::kNone;
  }

  // Flag, code and distance fit in 24 bits: one look at the stream decides
  // how many of them belong to this index.
  template <bool kChecked>
  [[gnu::always_inline]] static IndexCode ReadIndexCode(BitReader& reader) {
    if constexpr (!kChecked) {
      const uint32_t head = reader.Peek(24);
      if ((head >> 23) == 0) {
        reader.Skip(1);
        return {IndexCode::kNew, 0};
      }
      const uint32_t code = (head >> 21) & 3;
      if (code < 3) {
        reader.Skip(3);
        return {IndexCode::kRecent, code};
      }
      const uint32_t shortDistance = (head >> 16) & 31;
      const bool escaped = shortDistance == kLongDistanceMark;
      reader.Skip(escaped ? 24 : 8);
      return {IndexCode::kDistance, escaped ? head & 0xFFFF : shortDistance};
    } else {
      if (reader.Read<true>(1) == 0) return {IndexCode::kNew, 0};
      const uint32_t code = reader.Read<true>(2);
      if (code < 3) return {IndexCode::kRecent, code};
      const uint32_t distance = reader.Read<true>(5);
      return {IndexCode::kDistance, distance < kLongDistanceMark ? distance : reader.Read<true>(16)};
    }
  }

  const uint8_t* data_;
  size_t size_;
  BitReader reader_;
  int32_t version_ = -1;
  unsigned uvBits_ = 16;
  Dequantizer dequantizer_{};
  // Highest vertex index introduced so far, across blocks.
  int64_t counter_ = -1;
  std::vector<QuantizedUv> uvs_;       // the block's previous texture coordinates
  std::vector<uint16_t> normalCodes_;  // the block's octahedral byte pairs

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
