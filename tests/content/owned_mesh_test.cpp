#include "content/owned_mesh.h"

#include <gtest/gtest.h>

#include "mesh_encoder/mesh_encoder.h"
#include "support/recording_logger.h"

namespace ovra {
namespace {

std::vector<uint8_t> TriangleStream(int version, size_t uvSets, const ModelMaterial& embedded = {}) {
  tools::MeshToEncode mesh;
  mesh.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  mesh.uvSets.assign(uvSets, std::vector<cxm::Vec2f>(3, {0.25f, 0.5f}));
  mesh.triangles = {{0, 1, 2}};
  tools::MeshEncodeOptions options;
  options.version = version;
  options.material = embedded;
  return tools::EncodeMesh(mesh, options).bytes;
}

const NodeBounds kBox = {0, 1, 0, 1, 0, 1};

TEST(DecodeLevelGeometry, ResolvesTheMaterialAndLogsAMissingOneOnce) {
  MaterialTable materials;
  materials["stone"] = std::make_unique<ModelMaterial>();
  materials["stone"]->roughness = 0.75f;
  ModelNodeLevel level;
  level.geometry = "g";
  const auto stream = TriangleStream(5, 1);

  test::ScopedRecordingLogger log;
  level.material = "stone";
  const cxm::Mesh found = DecodeLevelGeometry(kBox, level, &materials, stream);
  ASSERT_EQ(found.materials.size(), 1u);
  EXPECT_EQ(found.materials[0].roughness, 0.75f);

  level.material = "";
  EXPECT_TRUE(DecodeLevelGeometry(kBox, level, &materials, stream).materials.empty());
  EXPECT_TRUE(log.Lines().empty()) << "an empty name is no lookup";

  level.material = "marble";
  const cxm::Mesh missing = DecodeLevelGeometry(kBox, level, &materials, stream);
  EXPECT_TRUE(missing.materials.empty());
  EXPECT_EQ(missing.positions->size(), 3u) << "decoding goes on";
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"Error: Unable to get referenced material marble for mesh"});
}

TEST(DecodeLevelGeometry, MalformedStreamIsLoggedWithItsEntryName) {
  test::ScopedRecordingLogger log;
  ModelNodeLevel level;
  level.geometry = "broken.mesh";
  auto stream = TriangleStream(5, 0);
  stream.resize(stream.size() - 2);
  const cxm::Mesh mesh = DecodeLevelGeometry(kBox, level, nullptr, stream);
  EXPECT_TRUE(mesh.positions->empty());
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_TRUE(log.Lines()[0].starts_with("Error: Could not decode geometry broken.mesh: ")) << log.Lines()[0];
}

OwnedMesh Owned(const std::vector<uint8_t>& stream) {
  OwnedMesh owned;
  ModelNodeLevel level;
  level.geometry = "g";
  owned.mesh = DecodeLevelGeometry(kBox, level, nullptr, stream);
  return owned;
}

TEST(BuildRenderMesh, PointsIntoTheSharedArraysWithByteSizes) {
  OwnedMesh owned = Owned(TriangleStream(5, 5));
  owned.textures[2].format = 106;
  owned.textures[2].width = 70000;  // narrowed to 16 bits
  const auto pixels = std::make_shared<const std::vector<uint8_t>>(std::vector<uint8_t>{1, 2, 3});
  owned.textures[0].pixels = pixels;
  owned.textures[0].byteSize = 3;
  owned.textures[0].format = 1;
  const auto mesh = BuildRenderMesh(owned);
  EXPECT_EQ(mesh->positions, &owned.mesh.positions->front().x);
  EXPECT_EQ(mesh->positionsByteSize, 36u);
  EXPECT_EQ(mesh->indicesByteSize, 12u);
  EXPECT_EQ(mesh->normalsByteSize, 36u);
  EXPECT_EQ(mesh->texCoords3ByteSize, 24u) << "four of the five sets are passed on";
  EXPECT_EQ(mesh->colorTexture.data, pixels->data());
  EXPECT_EQ(mesh->colorTexture.components, 1u);
  EXPECT_EQ(mesh->metalRoughnessTexture.components, 4u);
  EXPECT_EQ(mesh->metalRoughnessTexture.width, static_cast<uint16_t>(70000));
  EXPECT_EQ(mesh->normalTexture.data, nullptr);
  EXPECT_EQ(mesh->normalTexture.format, 4u);
  EXPECT_EQ(mesh->baseColor[0], 0.0f) << "no material: zero";
  EXPECT_EQ(mesh->reserved0, 0u);
}

TEST(BuildRenderMesh, MaterialFieldsComeFromTheFirstMaterial) {
  ModelMaterial embedded;
  embedded.albedo = {1.0f, 0.0f, 0.2f, 1.0f};
  embedded.metalness = 0.0f;
  embedded.alphaMode = 2;
  embedded.doubleSided = true;
  const auto mesh = BuildRenderMesh(Owned(TriangleStream(3, 1, embedded)));
  EXPECT_EQ(mesh->baseColor[0], 1.0f);
  EXPECT_NEAR(mesh->baseColor[2], 0.2f, 0.5f / 255);
  EXPECT_EQ(mesh->metalness, 0.0f);
  EXPECT_EQ(mesh->roughness, 1.0f);
  EXPECT_EQ(mesh->alphaMode, 2);
  EXPECT_EQ(mesh->doubleSided, 1);
  EXPECT_EQ(mesh->texCoords1, nullptr);
}

TEST(MaterialAt, FallsBackToTheSharedDefault) {
  cxm::Mesh mesh;
  EXPECT_EQ(&MaterialAt(mesh, 0), &MaterialAt(mesh, 7));
  EXPECT_EQ(MaterialAt(mesh, 0).ior, 1.5f);
  mesh.materials.resize(1);
  mesh.materials[0].ior = 2.0f;
  EXPECT_EQ(MaterialAt(mesh, 0).ior, 2.0f);
}

TEST(AssembleOwnedMesh, RejectsMissingOrMistypedDependencies) {
  auto geometry = std::make_shared<Task<cxm::Mesh>>();
  geometry->SetResult({});
  geometry->MarkStarted();
  auto texture = std::make_shared<Task<cxm::Texture>>();
  texture->SetResult({});
  texture->MarkStarted();
  const ConstTaskList complete = {geometry, texture, texture, texture, texture, texture};
  EXPECT_NO_THROW(AssembleOwnedMesh(complete));
  const ConstTaskList shortList = {geometry, texture};
  const ConstTaskList swapped = {texture, geometry, texture, texture, texture, texture};
  for (const ConstTaskList* list : {&shortList, &swapped}) {
    try {
      AssembleOwnedMesh(*list);
      ADD_FAILURE();
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Failed to unpack task.");
    }
  }
}

}  // namespace
}  // namespace ovra
