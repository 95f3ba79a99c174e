// Round trips through the encoder and decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "content/mesh_decoder.h"
#include "content/octahedral_normal.h"
#include "mesh_encoder/mesh_encoder.h"

namespace ovra {
namespace {

using tools::EncodedMesh;
using tools::MeshEncodeOptions;
using tools::MeshToEncode;

// A random triangle soup over shared vertices, with normals, `uvSetCount`
// coordinate sets and optional colours.
MeshToEncode RandomMesh(unsigned seed, size_t vertexCount, size_t triangleCount, size_t uvSetCount, bool colors,
                        float lowestUv = -0.5f, float highestUv = 3.0f) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> coordinate(-50.0f, 80.0f);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_real_distribution<float> texture(lowestUv, highestUv);
  MeshToEncode mesh;
  for (size_t i = 0; i < vertexCount; ++i) {
    mesh.positions.push_back({coordinate(random), coordinate(random), coordinate(random)});
    mesh.normals.push_back({unit(random), unit(random), unit(random)});
    if (colors) mesh.colors.push_back({unit(random) * 0.5f + 0.5f, 0.25f, 1.0f, unit(random) * 0.5f + 0.5f});
  }
  mesh.colorsHaveAlpha = colors;
  mesh.uvSets.resize(uvSetCount);
  for (auto& set : mesh.uvSets) {
    for (size_t i = 0; i < vertexCount; ++i) set.push_back({texture(random), texture(random)});
  }
  std::uniform_int_distribution<uint32_t> pick(0, static_cast<uint32_t>(vertexCount - 1));
  for (size_t i = 0; i < triangleCount; ++i) mesh.triangles.push_back({pick(random), pick(random), pick(random)});
  return mesh;
}

cxm::Vec3f Normalized(cxm::Vec3f v) {
  const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / length, v.y / length, v.z / length};
}

void ExpectDecodesToInput(const MeshToEncode& input, const EncodedMesh& encoded, const cxm::Mesh& mesh,
                          const std::array<uint32_t, 3>& axisBits) {
  ASSERT_EQ(mesh.positions->size(), encoded.vertexSource.size());
  ASSERT_EQ(mesh.normals->size(), encoded.vertexSource.size());
  for (int axis = 0; axis < 3; ++axis) {
    const float extent = encoded.bounds[2 * axis + 1] - encoded.bounds[2 * axis];
    // Half a quantisation step, plus single-precision rounding of the result.
    const float tolerance = extent / static_cast<float>((1u << axisBits[axis]) - 1) * 0.5f + extent * 2e-7f + 1e-5f;
    for (size_t i = 0; i < mesh.positions->size(); ++i) {
      const cxm::Vec3f& in = input.positions[encoded.vertexSource[i]];
      const cxm::Vec3f& out = (*mesh.positions)[i];
      const float a = axis == 0 ? in.x : axis == 1 ? in.y : in.z;
      const float b = axis == 0 ? out.x : axis == 1 ? out.y : out.z;
      ASSERT_NEAR(a, b, tolerance) << "vertex " << i << " axis " << axis;
    }
  }
  for (size_t i = 0; i < mesh.normals->size(); ++i) {
    const cxm::Vec3f in = Normalized(input.normals[encoded.vertexSource[i]]);
    const cxm::Vec3f& out = (*mesh.normals)[i];
    ASSERT_GT(in.x * out.x + in.y * out.y + in.z * out.z, 0.9995f) << "normal " << i;
  }
  ASSERT_EQ(mesh.uvSets->size(), input.uvSets.size());
  for (size_t k = 0; k < input.uvSets.size(); ++k) {
    for (size_t i = 0; i < mesh.positions->size(); ++i) {
      const cxm::Vec2f& in = input.uvSets[k][encoded.vertexSource[i]];
      ASSERT_NEAR((*mesh.uvSets)[k][i].u, in.u, 1.0f / 4096 + 1e-5f);
      ASSERT_NEAR((*mesh.uvSets)[k][i].v, in.v, 1.0f / 4096 + 1e-5f);
    }
  }
  ASSERT_EQ(mesh.colors->size(), input.colors.empty() ? 0 : mesh.positions->size());
  for (size_t i = 0; i < mesh.colors->size(); ++i) {
    const cxm::Vec4f& in = input.colors[encoded.vertexSource[i]];
    ASSERT_NEAR((*mesh.colors)[i].x, in.x, 0.5f / 255 + 1e-6f);
    ASSERT_NEAR((*mesh.colors)[i].w, input.colorsHaveAlpha ? in.w : 1.0f, 0.5f / 255 + 1e-6f);
  }
  EXPECT_EQ(mesh.colorsHaveAlpha, !input.colors.empty() && input.colorsHaveAlpha);
  ASSERT_EQ(mesh.triangles->size(), input.triangles.size());
  for (size_t t = 0; t < input.triangles.size(); ++t) {
    const cxm::Vec3u& out = (*mesh.triangles)[t];
    ASSERT_EQ(encoded.vertexSource[out.a], input.triangles[t].a) << "triangle " << t;
    ASSERT_EQ(encoded.vertexSource[out.b], input.triangles[t].b) << "triangle " << t;
    ASSERT_EQ(encoded.vertexSource[out.c], input.triangles[t].c) << "triangle " << t;
  }
}

struct RoundTripCase {
  int version;
  uint32_t uvSets;
  bool colors;
  std::array<uint32_t, 3> axisBits;
  uint32_t maxBlockVertices;
};

class MeshRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(MeshRoundTrip, DecodesToTheInputWithinQuantisation) {
  const RoundTripCase& c = GetParam();
  // Streams before version 1 have no coordinate offsets: u from 0 up and v
  // from 1 down fit.
  const bool offsets = c.version >= 1;
  const MeshToEncode input =
      RandomMesh(11 + c.version, 700, 1500, c.uvSets, c.colors, offsets ? -0.5f : 0.0f, offsets ? 3.0f : 1.0f);
  MeshEncodeOptions options;
  options.version = c.version;
  options.axisBits = c.axisBits;
  options.maxBlockVertices = c.maxBlockVertices;
  options.material.roughness = 0.2f;
  const EncodedMesh encoded = EncodeMesh(input, options);
  MeshDecodeError error = MeshDecodeError::kTruncated;
  const cxm::Mesh mesh = DecodeMesh(encoded.bytes.data(), encoded.bytes.size(), encoded.bounds.data(), nullptr, &error);
  ASSERT_EQ(error, MeshDecodeError::kNone) << MeshDecodeErrorText(error);
  const std::array<uint32_t, 3> used = c.version >= 3 ? c.axisBits : std::array<uint32_t, 3>{11, 11, 11};
  ExpectDecodesToInput(input, encoded, mesh, used);
  EXPECT_EQ(mesh.materials.size(), c.version < 4 ? 1u : 0u);
  if (c.version < 4) {
    EXPECT_NEAR(mesh.materials[0].roughness, 0.2f, 0.5f / 255);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryVersion, MeshRoundTrip,
    testing::Values(RoundTripCase{-1, 1, false, {16, 16, 16}, 65535}, RoundTripCase{0, 2, false, {16, 16, 16}, 65535},
                    RoundTripCase{1, 1, false, {16, 16, 16}, 200}, RoundTripCase{2, 0, false, {16, 16, 16}, 65535},
                    RoundTripCase{3, 3, false, {9, 14, 1}, 100}, RoundTripCase{4, 1, false, {16, 12, 16}, 65535},
                    RoundTripCase{5, 2, true, {16, 16, 16}, 300}, RoundTripCase{5, 0, false, {10, 10, 10}, 3}),
    [](const testing::TestParamInfo<RoundTripCase>& test) {
      const int v = test.param.version;
      return (v < 0 ? std::string("Headerless") : "Version" + std::to_string(v)) + "_" + std::to_string(test.index);
    });

TEST(MeshRoundTrip, ColoursWithoutAlphaDecodeOpaque) {
  MeshToEncode input = RandomMesh(3, 50, 60, 0, true);
  input.colorsHaveAlpha = false;
  MeshEncodeOptions options;
  const EncodedMesh encoded = EncodeMesh(input, options);
  const cxm::Mesh mesh = DecodeMesh(encoded.bytes.data(), encoded.bytes.size(), nullptr, nullptr);
  ExpectDecodesToInput(input, encoded, mesh, options.axisBits);
}

TEST(MeshRoundTrip, VerticesReusedFarBackAreStoredAgain) {
  // Triangle t uses vertices t and t + 1, and vertex 0 again: once more than
  // 65,535 vertices lie between, vertex 0 can no longer be referred to.
  MeshToEncode input;
  for (uint32_t i = 0; i < 70000; ++i) input.positions.push_back({float(i), float(i % 7), 0.0f});
  input.normals.assign(input.positions.size(), {0, 0, 1});
  for (uint32_t t = 0; t + 1 < 70000; t += 2) input.triangles.push_back({t, t + 1, 0});
  MeshEncodeOptions options;
  options.maxBlockVertices = 30000;
  const EncodedMesh encoded = EncodeMesh(input, options);
  EXPECT_GT(encoded.vertexSource.size(), input.positions.size());
  const cxm::Mesh mesh = DecodeMesh(encoded.bytes.data(), encoded.bytes.size(), nullptr, nullptr);
  ExpectDecodesToInput(input, encoded, mesh, options.axisBits);
}

TEST(MeshRoundTrip, UnusedVerticesAreDroppedAndEmptyMeshIsHeaderOnly) {
  MeshToEncode input = RandomMesh(5, 10, 0, 1, false);
  input.triangles.push_back({2, 4, 2});
  const EncodedMesh encoded = EncodeMesh(input, {});
  EXPECT_EQ(encoded.vertexSource, (std::vector<uint32_t>{2, 4}));

  input.triangles.clear();
  const EncodedMesh empty = EncodeMesh(input, {});
  EXPECT_EQ(empty.bytes.size(), 51u);
}

TEST(MeshEncoder, RejectsInconsistentInput) {
  MeshToEncode mesh = RandomMesh(1, 4, 2, 1, false);
  MeshToEncode badIndex = mesh;
  badIndex.triangles.push_back({0, 1, 4});
  MeshToEncode badUv = mesh;
  badUv.uvSets[0].pop_back();
  MeshEncodeOptions badVersion;
  badVersion.version = 6;
  MeshEncodeOptions badBits;
  badBits.axisBits = {16, 0, 16};
  EXPECT_THROW(EncodeMesh(badIndex, {}), std::invalid_argument);
  EXPECT_THROW(EncodeMesh(badUv, {}), std::invalid_argument);
  EXPECT_THROW(EncodeMesh(mesh, badVersion), std::invalid_argument);
  EXPECT_THROW(EncodeMesh(mesh, badBits), std::invalid_argument);
}

TEST(OctahedralEncoding, PicksTheNearestBytePair) {
  std::mt19937 random(9);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int i = 0; i < 2000; ++i) {
    const cxm::Vec3f normal = Normalized({unit(random), unit(random), unit(random)});
    const auto chosen = tools::EncodeOctahedralNormal(normal);
    auto dot = [&](int a, int b) {
      const cxm::Vec3f d = ComputeOctahedralNormal(static_cast<uint8_t>(a), static_cast<uint8_t>(b));
      return d.x * normal.x + d.y * normal.y + d.z * normal.z;
    };
    const float best = dot(chosen[0], chosen[1]);
    for (int a = chosen[0] - 2; a <= chosen[0] + 2; ++a) {
      for (int b = chosen[1] - 2; b <= chosen[1] + 2; ++b) {
        if (a >= 0 && a < 256 && b >= 0 && b < 256) {
          ASSERT_LE(dot(a, b), best + 1e-7f);
        }
      }
    }
  }
}

}  // namespace
}  // namespace ovra
