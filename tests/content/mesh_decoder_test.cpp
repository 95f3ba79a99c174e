// The decoder against hand-built streams: field semantics and malformed input.
#include "content/mesh_decoder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <optional>
#include <random>

#include "content/octahedral_normal.h"
#include "mesh_encoder/bit_writer.h"
#include "mesh_encoder/mesh_encoder.h"

namespace ovra {
namespace {

using tools::BitWriter;

constexpr float kUnitBox[6] = {0, 1, 0, 1, 0, 1};

// Version 4 header: magic, version, bounds (0..2047 on every axis), zero
// texture offsets and 11-bit axes, so quantised values read back as numbers.
BitWriter Version4Stream(uint32_t axisBits = 11) {
  BitWriter w;
  w.WriteBytes("_tzmc", 5);
  w.Write(4, 24);
  for (float value : {0.0f, 2047.0f, 0.0f, 2047.0f, 0.0f, 2047.0f, 0.0f, 0.0f, 0.0f, 0.0f}) {
    const auto bits = std::bit_cast<uint32_t>(value);
    for (unsigned shift = 0; shift < 32; shift += 8) w.Write((bits >> shift) & 0xFF, 8);
  }
  for (int axis = 0; axis < 3; ++axis) w.Write(axisBits, 8);
  return w;
}

// The first vertex and counts of a block: position, normal (128, 128),
// `uvs` absolute pairs (24 bits each in version 4).
void BlockStart(BitWriter& w, std::array<uint32_t, 3> q, std::vector<std::array<uint32_t, 2>> uvs, uint32_t vertexCount,
                uint32_t triangleCount) {
  for (uint32_t v : q) w.Write(v, 16);
  w.Write(128, 8);
  w.Write(128, 8);
  w.Write(static_cast<uint32_t>(uvs.size()), 16);
  for (const auto& uv : uvs) {
    w.Write(uv[0], 24);
    w.Write(uv[1], 24);
  }
  w.Write(vertexCount, 16);
  w.Write(triangleCount, 16);
}

void NewIndex(BitWriter& w) { w.Write(0, 1); }
void RecentIndex(BitWriter& w, uint32_t back) {
  w.Write(1, 1);
  w.Write(back, 2);
}
void DistanceIndex(BitWriter& w, uint32_t fiveBits, std::optional<uint32_t> sixteen = {}) {
  w.Write(1, 1);
  w.Write(3, 2);
  w.Write(fiveBits, 5);
  if (sixteen) w.Write(*sixteen, 16);
}

struct Decoded {
  cxm::Mesh mesh;
  MeshDecodeError error;
};

Decoded Decode(const std::vector<uint8_t>& bytes, const ModelMaterial* material = nullptr,
               const float* bounds = kUnitBox) {
  Decoded d;
  d.mesh = DecodeMesh(bytes.data(), bytes.size(), bounds, material, &d.error);
  return d;
}

TEST(MeshDecoder, HeaderOnlyStreams) {
  ModelMaterial caller;
  caller.metalness = 0.125f;
  for (uint32_t version : {4u, 5u}) {
    BitWriter w = Version4Stream();
    std::vector<uint8_t> bytes = w.Take();
    bytes[7] = static_cast<uint8_t>(version);
    ASSERT_EQ(bytes.size(), 51u);
    const Decoded with = Decode(bytes, &caller);
    EXPECT_EQ(with.error, MeshDecodeError::kNone);
    EXPECT_TRUE(with.mesh.positions->empty());
    EXPECT_TRUE(with.mesh.triangles->empty());
    EXPECT_TRUE(with.mesh.uvSets->empty());
    ASSERT_EQ(with.mesh.materials.size(), 1u);
    EXPECT_EQ(with.mesh.materials[0].metalness, 0.125f);
    EXPECT_TRUE(Decode(bytes).mesh.materials.empty());
  }
  for (int version : {-1, 0, 1, 2, 3}) {
    tools::MeshEncodeOptions options;
    options.version = version;
    options.material.metalness = 0.0f;
    options.material.normalMap = 0;
    options.material.doubleSided = true;
    const auto encoded = tools::EncodeMesh({}, options);
    const Decoded d = Decode(encoded.bytes, &caller);
    EXPECT_EQ(d.error, MeshDecodeError::kNone) << version;
    EXPECT_TRUE(d.mesh.positions->empty());
    ASSERT_EQ(d.mesh.materials.size(), 1u) << "the embedded material, not the caller's";
    EXPECT_EQ(d.mesh.materials[0].metalness, 0.0f);
    EXPECT_EQ(d.mesh.materials[0].normalMap, 0);
    EXPECT_EQ(d.mesh.materials[0].doubleSided, version == 3);
  }
}

TEST(MeshDecoder, EmbeddedMaterialRows) {
  BitWriter w;
  w.WriteBytes("_tzmc", 5);
  w.Write(3, 24);
  for (int i = 0; i < 10; ++i) w.Write(0, 32);
  for (int axis = 0; axis < 3; ++axis) w.Write(11, 8);
  const uint32_t rows[] = {255, 0, 51,  255, 3, 0,   255, 255, 255, 0,   1, 102, 204,
                           0,   1, 255, 0,   7, 128, 1,   0,   255, 254, 9, 2,   1};
  for (uint32_t b : rows) w.Write(b, 8);
  const Decoded d = Decode(w.Take());
  ASSERT_EQ(d.error, MeshDecodeError::kNone);
  const ModelMaterial& m = d.mesh.materials.at(0);
  EXPECT_EQ(m.albedo.x, 1.0f);
  EXPECT_EQ(m.albedo.z, 51.0f / 255.0f);
  EXPECT_EQ(m.albedoMap, 2);
  EXPECT_EQ(m.albedoUvs, -1);
  EXPECT_EQ(m.emissiveMap, -1);
  EXPECT_EQ(m.emissiveUvs, 0);
  EXPECT_EQ(m.roughness, 204.0f / 255.0f);
  EXPECT_EQ(m.normalMap, -1);
  EXPECT_EQ(m.normalUvs, 0) << "any non-zero byte means present";
  EXPECT_EQ(m.occlusionScale, 128.0f / 255.0f);
  EXPECT_EQ(m.occlusionMap, 0);
  EXPECT_EQ(m.occlusionUvs, -1);
  EXPECT_EQ(m.lightMap, 1);
  EXPECT_EQ(m.lightUvs, 0) << "only 255 gives 1";
  EXPECT_TRUE(m.lightMapRGBM);
  EXPECT_EQ(m.alphaMode, 2);
  EXPECT_TRUE(m.doubleSided);
}

TEST(MeshDecoder, DeltaEscapesAndBiases) {
  BitWriter w = Version4Stream();
  BlockStart(w, {1000, 1000, 1000}, {}, 4, 0);
  // Vertex 2: +127, -127, escape to 5.
  w.Write(254, 8), w.Write(0, 8), w.Write(255, 8), w.Write(5, 16);
  w.Write(128, 8), w.Write(128, 8);
  // Vertex 3: unchanged x, y, z.
  for (int i = 0; i < 3; ++i) w.Write(127, 8);
  w.Write(128, 8), w.Write(128, 8);
  // Vertex 4: escape to 2047 on x only.
  w.Write(255, 8), w.Write(2047, 16), w.Write(127, 8), w.Write(127, 8);
  w.Write(0, 8), w.Write(0, 8);
  const Decoded d = Decode(w.Take());
  ASSERT_EQ(d.error, MeshDecodeError::kNone);
  const auto& p = *d.mesh.positions;
  ASSERT_EQ(p.size(), 4u);
  EXPECT_FLOAT_EQ(p[1].x, 1127.0f);
  EXPECT_FLOAT_EQ(p[1].y, 873.0f);
  EXPECT_FLOAT_EQ(p[1].z, 5.0f);
  EXPECT_FLOAT_EQ(p[2].x, 1127.0f);
  EXPECT_FLOAT_EQ(p[3].x, 2047.0f);
  EXPECT_FLOAT_EQ(p[3].z, 5.0f);
  EXPECT_TRUE(d.mesh.triangles->empty());
  EXPECT_EQ((*d.mesh.normals)[3].z, -1.0f);
}

TEST(MeshDecoder, QuantisedExtremesLandOnTheBox) {
  const float box[6] = {-3.5f, 9.25f, 0.0f, 1.0f, 100.0f, 100.0f};
  BitWriter w;  // version -1: no header, box from the caller
  for (int i = 0; i < 22; ++i) w.Write(0, 8);
  for (uint32_t v : {0u, 2047u, 0u}) w.Write(v, 16);
  w.Write(128, 8), w.Write(128, 8), w.Write(0, 16), w.Write(2, 16), w.Write(0, 16);
  for (int i = 0; i < 3; ++i) w.Write(255, 8), w.Write(i == 0 ? 2047 : 0, 16);
  w.Write(128, 8), w.Write(128, 8);
  const Decoded d = Decode(w.Take(), nullptr, box);
  ASSERT_EQ(d.error, MeshDecodeError::kNone);
  EXPECT_EQ((*d.mesh.positions)[0].x, -3.5f);
  EXPECT_FLOAT_EQ((*d.mesh.positions)[1].x, 9.25f);
  EXPECT_FLOAT_EQ((*d.mesh.positions)[0].y, 1.0f);
  EXPECT_EQ((*d.mesh.positions)[0].z, 100.0f) << "a flat axis keeps its minimum";
}

TEST(MeshDecoder, IndexCodesAndCountingAcrossBlocks) {
  BitWriter w = Version4Stream();
  // Block 1: 3 vertices, triangles (0 1 2) and (2 1 0) by recent codes.
  BlockStart(w, {0, 0, 0}, {}, 3, 2);
  for (int v = 0; v < 2; ++v) w.Write(128, 8), w.Write(127, 8), w.Write(127, 8), w.Write(128, 8), w.Write(128, 8);
  NewIndex(w), NewIndex(w), NewIndex(w);
  RecentIndex(w, 0), RecentIndex(w, 2), DistanceIndex(w, 2);
  w.AlignToByte();
  // Block 2: 40 vertices; the first new index is 3; distances 30 (5 bits)
  // and 31 (escaped) reach back across the block boundary.
  BlockStart(w, {0, 0, 0}, {}, 40, 14);
  for (int v = 1; v < 40; ++v) w.Write(128, 8), w.Write(127, 8), w.Write(127, 8), w.Write(128, 8), w.Write(128, 8);
  for (int i = 0; i < 40; ++i) NewIndex(w);
  DistanceIndex(w, 30);      // 42 - 30 = 12
  DistanceIndex(w, 31, 31);  // 42 - 31 = 11
  const Decoded d = Decode(w.Take());
  ASSERT_EQ(d.error, MeshDecodeError::kNone) << MeshDecodeErrorText(d.error);
  const auto& t = *d.mesh.triangles;
  ASSERT_EQ(t.size(), 16u);
  EXPECT_EQ(t[0].a, 0u);
  EXPECT_EQ(t[0].c, 2u);
  EXPECT_EQ(t[1].a, 2u);
  EXPECT_EQ(t[1].b, 1u);
  EXPECT_EQ(t[1].c, 0u);
  EXPECT_EQ(t[2].a, 3u) << "counting goes on in the next block";
  EXPECT_EQ(t[15].a, 42u);
  EXPECT_EQ(t[15].b, 12u);
  EXPECT_EQ(t[15].c, 11u);
}

// Codes far from the end of a long block, where the stream surely holds the
// triangle and its bits go unchecked: they resolve and are refused as near it.
TEST(MeshDecoder, IndexCodesDeepInALongBlock) {
  struct Case {
    const char* name;
    uint32_t vertexCount;
    std::function<void(BitWriter&)> codes;  // triangle 50's, after 150 new indices
    MeshDecodeError error;
    cxm::Vec3u triangle;
  };
  const Case cases[] = {
      {"recent codes",
       200,
       [](BitWriter& w) { RecentIndex(w, 2), RecentIndex(w, 2), RecentIndex(w, 1); },
       MeshDecodeError::kNone,
       {147, 148, 147}},
      {"distances and a new vertex",
       200,
       [](BitWriter& w) { DistanceIndex(w, 30), DistanceIndex(w, 31, 149), NewIndex(w); },
       MeshDecodeError::kNone,
       {119, 0, 150}},
      {"escaped distance below 0",
       200,
       [](BitWriter& w) { DistanceIndex(w, 31, 150); },
       MeshDecodeError::kBadBackReference,
       {}},
      {"a new index past the vertices",
       150,
       [](BitWriter& w) { NewIndex(w), NewIndex(w), NewIndex(w); },
       MeshDecodeError::kIndexOutOfRange,
       {}},
  };
  for (const Case& c : cases) {
    BitWriter w = Version4Stream();
    BlockStart(w, {0, 0, 0}, {}, c.vertexCount, 150);
    for (uint32_t v = 1; v < c.vertexCount; ++v) {
      w.Write(127, 8), w.Write(127, 8), w.Write(127, 8), w.Write(128, 8), w.Write(128, 8);
    }
    for (int i = 0; i < 150; ++i) NewIndex(w);
    c.codes(w);
    for (int i = 0; i < 99 * 3; ++i) RecentIndex(w, 0);
    const Decoded d = Decode(w.Take());
    ASSERT_EQ(d.error, c.error) << c.name;
    if (c.error != MeshDecodeError::kNone) continue;
    const cxm::Vec3u& t = (*d.mesh.triangles)[50];
    EXPECT_EQ(t.a, c.triangle.a) << c.name;
    EXPECT_EQ(t.b, c.triangle.b) << c.name;
    EXPECT_EQ(t.c, c.triangle.c) << c.name;
    EXPECT_EQ((*d.mesh.triangles)[149].a, t.c) << c.name;
  }
}

TEST(MeshDecoder, UvSetAppearingInALaterBlock) {
  BitWriter w = Version4Stream();
  BlockStart(w, {0, 0, 0}, {{0, 0}}, 2, 0);
  w.Write(127, 8), w.Write(127, 8), w.Write(127, 8), w.Write(128, 8), w.Write(128, 8);
  w.Write(255, 8), w.Write(2047, 24), w.Write(128, 8);  // u escaped, v + 1
  w.AlignToByte();
  BlockStart(w, {0, 0, 0}, {{10, 20}, {4095, 0}}, 1, 0);
  const Decoded d = Decode(w.Take());
  ASSERT_EQ(d.error, MeshDecodeError::kNone);
  const auto& sets = *d.mesh.uvSets;
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].size(), 3u);
  EXPECT_EQ(sets[1].size(), 1u) << "only the later block's vertex";
  EXPECT_FLOAT_EQ(sets[0][0].u, 0.5f / 2048);
  EXPECT_FLOAT_EQ(sets[0][0].v, 1.0f - 0.5f / 2048);
  EXPECT_FLOAT_EQ(sets[0][1].u, 2047.5f / 2048);
  EXPECT_FLOAT_EQ(sets[0][1].v, 1.0f - 1.5f / 2048);
  EXPECT_FLOAT_EQ(sets[1][0].u, 4095.5f / 2048);
  EXPECT_EQ(d.mesh.normals->size(), 3u);
}

TEST(OctahedralNormal, KnownBytePairs) {
  struct Case {
    uint8_t o1, o2;
    float x, y, z;
  };
  const Case cases[] = {
      {128, 128, 0.00395f, 0.00395f, 0.99998f},
      {255, 128, 0.99999f, 0.0f, -0.00394f},
      {0, 0, 0, 0, -1},
      {0, 255, 0, 0, -1},
      {255, 0, 0, 0, -1},
      {255, 255, 0, 0, -1},
  };
  for (const Case& c : cases) {
    const cxm::Vec3f n = ComputeOctahedralNormal(c.o1, c.o2);
    EXPECT_NEAR(n.x, c.x, 1e-5f) << int(c.o1) << "," << int(c.o2);
    EXPECT_NEAR(n.y, c.y, 1e-5f);
    EXPECT_NEAR(n.z, c.z, 1e-5f);
  }
}

// The normal decoding written out literally, step by step, as the stream
// defines it; the decoder's version must agree bit for bit.
cxm::Vec3f LiteralOctahedralNormal(uint8_t o1, uint8_t o2) {
  const float a = static_cast<float>(o1) / 255.0f;
  const float b = static_cast<float>(o2) / 255.0f;
  const float x = 2.0f * a - 1.0f;
  const float y = 2.0f * b - 1.0f;
  float fx, fy, z;
  if (std::fabs(x) + std::fabs(y) > 1.0f) {
    fx = (1.0f - std::fabs(y)) * (x >= 0.0f ? 1.0f : -1.0f);
    fy = (1.0f - std::fabs(x)) * (y >= 0.0f ? 1.0f : -1.0f);
    z = -(1.0f - std::fabs(fx) - std::fabs(fy));
  } else {
    fx = x;
    fy = y;
    z = 1.0f - std::fabs(x) - std::fabs(y);
  }
  const float length = std::sqrt(fx * fx + fy * fy + z * z);
  return {fx / length, fy / length, z / length};
}

TEST(OctahedralNormal, EqualsTheLiteralArithmeticBitForBit) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const cxm::Vec3f literal = LiteralOctahedralNormal(uint8_t(a), uint8_t(b));
      const cxm::Vec3f decoded = ComputeOctahedralNormal(uint8_t(a), uint8_t(b));
      ASSERT_EQ(std::bit_cast<uint32_t>(literal.x), std::bit_cast<uint32_t>(decoded.x)) << a << "," << b;
      ASSERT_EQ(std::bit_cast<uint32_t>(literal.y), std::bit_cast<uint32_t>(decoded.y)) << a << "," << b;
      ASSERT_EQ(std::bit_cast<uint32_t>(literal.z), std::bit_cast<uint32_t>(decoded.z)) << a << "," << b;
    }
  }
}

// The batch the decoder uses, over every byte pair, starting at each offset
// below four so that every pair also lands in the scalar tail.
TEST(OctahedralNormal, BatchEqualsOneAtATimeBitForBit) {
  std::vector<uint16_t> codes(65536 + 3);
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint16_t>(i * 40503u);
  for (size_t offset = 0; offset < 4; ++offset) {
    const size_t count = codes.size() - offset;
    std::vector<cxm::Vec3f> batch(count);
    ComputeOctahedralNormals(codes.data() + offset, count, batch.data());
    for (size_t i = 0; i < count; ++i) {
      const uint16_t code = codes[offset + i];
      const cxm::Vec3f one = ComputeOctahedralNormal(static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code));
      ASSERT_EQ(std::bit_cast<uint32_t>(batch[i].x), std::bit_cast<uint32_t>(one.x)) << code;
      ASSERT_EQ(std::bit_cast<uint32_t>(batch[i].y), std::bit_cast<uint32_t>(one.y)) << code;
      ASSERT_EQ(std::bit_cast<uint32_t>(batch[i].z), std::bit_cast<uint32_t>(one.z)) << code;
    }
  }
}

TEST(MeshDecoder, MalformedIndexReferencesAreRejected) {
  struct Case {
    const char* name;
    std::function<void(BitWriter&)> indices;
    uint32_t vertexCount;
    MeshDecodeError error;
  };
  const Case cases[] = {
      {"recent before the list", [](BitWriter& w) { RecentIndex(w, 0), NewIndex(w), NewIndex(w); }, 1,
       MeshDecodeError::kBadBackReference},
      {"third-to-last of two", [](BitWriter& w) { NewIndex(w), NewIndex(w), RecentIndex(w, 2); }, 2,
       MeshDecodeError::kBadBackReference},
      {"distance below 0", [](BitWriter& w) { NewIndex(w), NewIndex(w), DistanceIndex(w, 2); }, 2,
       MeshDecodeError::kBadBackReference},
      {"escaped distance below 0", [](BitWriter& w) { NewIndex(w), NewIndex(w), DistanceIndex(w, 31, 500); }, 2,
       MeshDecodeError::kBadBackReference},
      {"more new indices than vertices", [](BitWriter& w) { NewIndex(w), NewIndex(w), NewIndex(w); }, 2,
       MeshDecodeError::kIndexOutOfRange},
  };
  for (const Case& c : cases) {
    BitWriter w = Version4Stream();
    BlockStart(w, {0, 0, 0}, {}, c.vertexCount, 1);
    for (uint32_t v = 1; v < c.vertexCount; ++v) {
      w.Write(127, 8), w.Write(127, 8), w.Write(127, 8), w.Write(128, 8), w.Write(128, 8);
    }
    c.indices(w);
    ModelMaterial material;
    const Decoded d = Decode(w.Take(), &material);
    EXPECT_EQ(d.error, c.error) << c.name;
    EXPECT_TRUE(d.mesh.positions->empty()) << c.name;
    EXPECT_TRUE(d.mesh.triangles->empty()) << c.name;
    EXPECT_EQ(d.mesh.materials.size(), 1u) << "materials as usual";
  }
}

TEST(MeshDecoder, AxisWidthsOutsideOneToSixteenAreRejected) {
  for (uint32_t bits : {0u, 17u, 255u}) {
    EXPECT_EQ(Decode(Version4Stream(bits).Take()).error, MeshDecodeError::kBadAxisWidth) << bits;
  }
  EXPECT_EQ(Decode(Version4Stream(16).Take()).error, MeshDecodeError::kNone);
  EXPECT_EQ(Decode(Version4Stream(1).Take()).error, MeshDecodeError::kNone);
}

TEST(MeshDecoder, VersionsAboveFiveDecodeAsFive) {
  tools::MeshToEncode input;
  input.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  input.colors = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}};
  input.triangles = {{0, 1, 2}};
  auto encoded = tools::EncodeMesh(input, {});
  encoded.bytes[7] = 9;
  const Decoded d = Decode(encoded.bytes);
  ASSERT_EQ(d.error, MeshDecodeError::kNone);
  EXPECT_EQ(d.mesh.colors->size(), 3u);
}

// Each layout takes its own vertex loop.
struct PrefixCase {
  const char* name;
  size_t uvSets;
  bool colors;
};

class EveryTruncatedPrefix : public testing::TestWithParam<PrefixCase> {};

TEST_P(EveryTruncatedPrefix, StaysInBoundsAndIsRefusedOrComplete) {
  tools::MeshToEncode input;
  std::mt19937 random(2);
  for (int i = 0; i < 60; ++i) {
    input.positions.push_back({float(random() % 1000), float(random() % 1000), float(random() % 3)});
  }
  input.uvSets.resize(GetParam().uvSets, std::vector<cxm::Vec2f>(60, {0.25f, 0.5f}));
  if (GetParam().colors) input.colors.assign(60, {0.5f, 0.5f, 0.5f, 0.5f});
  input.colorsHaveAlpha = GetParam().colors;
  for (uint32_t i = 0; i + 2 < 60; ++i) input.triangles.push_back({i, i + 1, i + 2});
  tools::MeshEncodeOptions options;
  options.maxBlockVertices = 20;
  const auto encoded = tools::EncodeMesh(input, options);
  const Decoded full = Decode(encoded.bytes);
  ASSERT_EQ(full.error, MeshDecodeError::kNone);

  for (size_t length = 0; length < encoded.bytes.size(); ++length) {
    // An exact-size copy, so that any read past the end is caught by ASan.
    const std::vector<uint8_t> prefix(encoded.bytes.begin(), encoded.bytes.begin() + length);
    const Decoded d = Decode(prefix);
    if (d.error == MeshDecodeError::kNone) {
      // Only a prefix ending on a block boundary is a valid, shorter stream:
      // the full decode's first blocks.
      const size_t vertices = d.mesh.positions->size();
      ASSERT_LE(vertices, full.mesh.positions->size());
      ASSERT_LT(d.mesh.triangles->size(), full.mesh.triangles->size());
      for (size_t i = 0; i < vertices; ++i) {
        ASSERT_EQ((*d.mesh.positions)[i].x, (*full.mesh.positions)[i].x) << length;
        ASSERT_EQ((*d.mesh.normals)[i].z, (*full.mesh.normals)[i].z) << length;
      }
    } else {
      ASSERT_EQ(d.error, MeshDecodeError::kTruncated) << length;
      ASSERT_TRUE(d.mesh.positions->empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, EveryTruncatedPrefix,
                         testing::Values(PrefixCase{"TwoUvSetsAndColours", 2, true}, PrefixCase{"OneUvSet", 1, false},
                                         PrefixCase{"PositionsOnly", 0, false}),
                         [](const testing::TestParamInfo<PrefixCase>& test) { return test.param.name; });

}  // namespace
}  // namespace ovra
