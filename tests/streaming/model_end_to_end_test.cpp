// A real model file, written with the project's writer and encoder, loaded
// through the public interface; every mesh the renderer receives is checked
// against what was written.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "ovra/stream_controller.h"
#include "streaming/model_pimpl.h"
#include "support/images.h"
#include "support/model_files.h"
#include "support/model_pump.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"

namespace ovra {
namespace {

using test::RecordingDataSource;

struct WrittenLevel {
  tools::MeshToEncode mesh;
  tools::EncodedMesh encoded;
};

class EndToEndTest : public testing::Test {
 protected:
  // Root with two children, both shown at level 0 by the first loads.
  // Child A: stone material, RGB colour with a grey alpha map, JPEG normals,
  // one RGBA file for metal-roughness and occlusion, grey emissive map.
  // Child B: a version 3 stream with its own material, an RGBA colour map,
  // no material name.
  void SetUp() override {
    builder.document.materials = {{"stone",
                                   {{"albedo", {{"x", 0.5}, {"y", 0.25}, {"z", 1}, {"w", 1}}},
                                    {"roughness", 0.75},
                                    {"metalness", 0.125},
                                    {"emissiveScale", {{"x", 1}, {"y", 0.5}, {"z", 0}}},
                                    {"alphaMode", 1},
                                    {"doubleSided", true}}}};
    a = Write("a.mesh", test::SmallMesh(10, 40), 5, {});
    ModelMaterial embedded;
    embedded.albedo = {0.2f, 0.4f, 0.6f, 1.0f};
    embedded.roughness = 0.5f;
    b = Write("b.mesh", test::SmallMesh(11, 30), 3, embedded);
    builder.AddFile("a_color.png", test::EncodePng(4, 2, 3, test::PatternPixels(4, 2, 3, 1)));
    builder.AddFile("a_alpha.png", test::EncodePng(4, 2, 1, test::PatternPixels(4, 2, 1, 2)));
    builder.AddFile("a_normal.jpg", test::EncodeJpeg(8, 8, 3, test::PatternPixels(8, 8, 3, 3)));
    builder.AddFile("a_mr.png", test::EncodePng(2, 2, 4, test::PatternPixels(2, 2, 4, 4)));
    builder.AddFile("a_emissive.png", test::EncodePng(3, 3, 1, test::PatternPixels(3, 3, 1, 5)));
    builder.AddFile("b_color.png", test::EncodePng(2, 3, 4, test::PatternPixels(2, 3, 4, 6)));

    tools::LevelDescription levelA;
    levelA.geometry = "a.mesh";
    levelA.material = "stone";
    levelA.colorMap = "a_color.png";
    levelA.colorMapAlpha = "a_alpha.png";
    levelA.normalMap = "a_normal.jpg";
    levelA.metRoughMap = "a_mr.png";
    levelA.occlusionMap = "a_mr.png";
    levelA.emissiveMap = "a_emissive.png";
    levelA.triangleCount = 40;
    tools::LevelDescription levelB;
    levelB.geometry = "b.mesh";
    levelB.colorMap = "b_color.png";
    levelB.triangleCount = 30;
    tools::LevelDescription coarse = levelB;
    coarse.triangleCount = 10;
    builder.document.root = {{-2, 2, -2, 2, 0, 1}, 16.0f, {}, {}};
    builder.document.root.children = {{{-2, 0, -2, 2, 0, 1}, 8.0f, {levelA}, {}},
                                      {{0, 2, -2, 2, 0, 1}, 8.0f, {levelB, coarse}, {}}};
  }

  WrittenLevel Write(const std::string& name, tools::MeshToEncode mesh, int version, const ModelMaterial& material) {
    tools::MeshEncodeOptions options;
    options.version = version;
    options.material = material;
    WrittenLevel level{std::move(mesh), {}};
    level.encoded = tools::EncodeMesh(level.mesh, options);
    builder.AddFile(name, level.encoded.bytes);
    return level;
  }

  const test::RecordingRenderer::AddedMesh& MeshOfChild(size_t child) {
    const int id = detail::ModelAccess::Pimpl(model).rootNode->children[child]->id;
    for (const auto& added : renderer.Added()) {
      if (added.meshId == 4 * id) return added;
    }
    throw std::runtime_error("no mesh for that child");
  }

  test::ScopedRecordingLogger log;
  test::ModelBuilder builder;
  WrittenLevel a;
  WrittenLevel b;
  test::RecordingRenderer renderer;
  Model model;
};

void ExpectGeometry(const test::RecordingRenderer::AddedMesh& added, const WrittenLevel& level) {
  const auto& source = level.encoded.vertexSource;
  ASSERT_EQ(added.positions.size(), source.size() * 3);
  const auto& box = level.encoded.bounds;
  for (size_t i = 0; i < source.size(); ++i) {
    const cxm::Vec3f& p = level.mesh.positions[source[i]];
    EXPECT_NEAR(added.positions[3 * i], p.x, (box[1] - box[0]) / 65535.0f);
    EXPECT_NEAR(added.positions[3 * i + 2], p.z, (box[5] - box[4]) / 65535.0f);
    EXPECT_NEAR(added.texCoords.at(0)[2 * i + 1], level.mesh.uvSets[0][source[i]].v, 1.0f / 4096);
  }
  ASSERT_EQ(added.indices.size(), level.mesh.triangles.size() * 3);
  for (size_t t = 0; t < level.mesh.triangles.size(); ++t) {
    EXPECT_EQ(source[added.indices[3 * t]], level.mesh.triangles[t].a);
    EXPECT_EQ(source[added.indices[3 * t + 2]], level.mesh.triangles[t].c);
  }
  EXPECT_EQ(added.normals.size(), added.positions.size());
}

TEST_F(EndToEndTest, EveryDeliveredMeshMatchesWhatWasWritten) {
  for (auto mode : {RecordingDataSource::Mode::AnswerImmediately, RecordingDataSource::Mode::AnswerLater}) {
    Model fresh;
    test::RecordingRenderer meshes;
    RecordingDataSource source(builder.Write(), mode);
    fresh.Init(source, meshes, 1.0f, Vec3{}, 1, 0);
    ASSERT_TRUE(test::RunFramesUntil(fresh, source, [&] { return fresh.InitializationComplete(); }));
    EXPECT_EQ(meshes.Added().size(), 2u);
  }

  RecordingDataSource source(builder.Write(), RecordingDataSource::Mode::AnswerLater);
  model.Init(source, renderer, 1.0f, Vec3{}, 1, 0);
  ASSERT_TRUE(test::RunFramesUntil(model, source, [&] { return model.InitializationComplete(); }));
  ASSERT_EQ(renderer.Added().size(), 2u);
  for (const auto& added : renderer.Added()) {
    EXPECT_EQ(added.operationId, -1);
    EXPECT_TRUE(added.operationMeshIds.empty());
    EXPECT_FALSE(added.onShown);
  }

  const auto& meshA = MeshOfChild(0);
  ExpectGeometry(meshA, a);
  struct Slot {
    uint32_t format, components, width, height;
    bool pixels;
  };
  const Slot expectedA[5] = {{4, 4, 4, 2, true},   // colour with alpha merged in
                             {3, 3, 8, 8, true},   // JPEG normals
                             {4, 4, 2, 2, true},   // metal-roughness
                             {4, 4, 0, 0, false},  // occlusion shares it
                             {1, 1, 3, 3, true}};  // grey emissive
  for (int slot = 0; slot < 5; ++slot) {
    const auto& t = meshA.textures[slot];
    EXPECT_EQ(t.format, expectedA[slot].format) << "slot " << slot;
    EXPECT_EQ(t.components, expectedA[slot].components) << "slot " << slot;
    EXPECT_EQ(t.width, expectedA[slot].width) << "slot " << slot;
    EXPECT_EQ(t.height, expectedA[slot].height) << "slot " << slot;
    EXPECT_EQ(!t.pixels.empty(), expectedA[slot].pixels) << "slot " << slot;
  }
  const auto color = test::PatternPixels(4, 2, 3, 1);
  const auto alpha = test::PatternPixels(4, 2, 1, 2);
  EXPECT_EQ(meshA.textures[0].pixels[4 + 1], color[3 + 1]) << "G of pixel 1";
  EXPECT_EQ(meshA.textures[0].pixels[4 * 7 + 3], alpha[7]) << "A of pixel 7";
  EXPECT_EQ(meshA.textures[2].pixels, test::PatternPixels(2, 2, 4, 4));
  const Mesh& recordA = meshA.record;
  EXPECT_EQ(recordA.baseColor[1], 0.25f);
  EXPECT_EQ(recordA.roughness, 0.75f);
  EXPECT_EQ(recordA.metalness, 0.125f);
  EXPECT_EQ(recordA.emissive[1], 0.5f);
  EXPECT_EQ(recordA.alphaMode, 1);
  EXPECT_EQ(recordA.doubleSided, 1);

  const auto& meshB = MeshOfChild(1);
  ExpectGeometry(meshB, b);
  EXPECT_EQ(meshB.textures[0].format, 4u);
  EXPECT_EQ(meshB.textures[0].pixels, test::PatternPixels(2, 3, 4, 6)) << "RGBA colour keeps its alpha";
  EXPECT_EQ(meshB.textures[1].format, 4u);
  EXPECT_TRUE(meshB.textures[1].pixels.empty());
  EXPECT_NEAR(meshB.record.baseColor[1], 0.4f, 0.5f / 255 + 1e-6f) << "the stream's own material";
  EXPECT_NEAR(meshB.record.roughness, 0.5f, 0.5f / 255 + 1e-6f);

  EXPECT_EQ(log.Lines().back(), "Status: Fully initialized");
  for (const auto& child : detail::ModelAccess::Pimpl(model).rootNode->children) EXPECT_EQ(child->shownLevel, 0);
}

TEST(ModelLifetime, DestroyingAModelWhileItsJobsRunIsSafe) {
  // Many large levels, so that decoding is still under way when the model goes.
  test::ScopedRecordingLogger log;
  test::ModelBuilder builder;
  builder.document.root = {{-2, 2, -2, 2, 0, 1}, 1.0f, {}, {}};
  for (int i = 0; i < 24; ++i) {
    const std::string name = "mesh" + std::to_string(i);
    builder.AddFile(name, tools::EncodeMesh(test::SmallMesh(static_cast<unsigned>(i), 20000), {}).bytes);
    tools::LevelDescription level;
    level.geometry = name;
    level.triangleCount = 20000;
    builder.document.root.children.push_back({{-2, 2, -2, 2, 0, 1}, 1.0f, {level}, {}});
  }
  const auto file = builder.Write();
  for (int round = 0; round < 5; ++round) {
    test::RecordingRenderer renderer;
    RecordingDataSource source(file, RecordingDataSource::Mode::AnswerImmediately);
    auto model = std::make_unique<Model>();
    model->Init(source, renderer, 1.0f, Vec3{}, 1, 0);
    // Pump until the first loads are on the pool, then drop the model.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (log.Lines().empty() && std::chrono::steady_clock::now() < end) {
      model->UpdateRunningTasks();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    model->UpdateRunningTasks();
    ASSERT_FALSE(model->InitializationComplete()) << "the loads must still be running";
    model.reset();
    EXPECT_LT(renderer.Added().size(), 24u);
  }
  vandu::SharedThreadPool().WaitForEmptyQueue();
}

// Packed files share entry names. A model created after a cleanup, while an
// older one still streams, must not be served the older model's bytes.
TEST(ModelLifetime, ModelsCreatedAcrossACleanupKeepTheirOwnCachedEntries) {
  test::ScopedRecordingLogger log;
  auto fileWith = [](uint32_t triangles) {
    test::ModelBuilder builder;
    tools::LevelDescription level;
    level.geometry = "g";
    level.triangleCount = triangles;
    builder.document.root = {{-2, 2, -2, 2, 0, 1}, 1.0f, {}, {{{-2, 2, -2, 2, 0, 1}, 1.0f, {level}, {}}}};
    builder.AddFile("g", tools::EncodeMesh(test::SmallMesh(triangles, triangles), {}).bytes);
    return builder.Write();
  };
  RecordingDataSource olderSource(fileWith(20), RecordingDataSource::Mode::AnswerLater);
  RecordingDataSource newerSource(fileWith(30), RecordingDataSource::Mode::AnswerLater);
  test::RecordingRenderer olderRenderer, newerRenderer;
  Model older, newer;
  older.Init(olderSource, olderRenderer, 1.0f, Vec3{}, 1, 0);
  StreamController::CleanupGlobalState();
  newer.Init(newerSource, newerRenderer, 1.0f, Vec3{}, 1, 0);
  // The older model's entry reaches the cache before the newer one asks.
  ASSERT_TRUE(test::RunFramesUntil(older, olderSource, [&] { return older.InitializationComplete(); }));
  ASSERT_TRUE(test::RunFramesUntil(newer, newerSource, [&] { return newer.InitializationComplete(); }));
  ASSERT_EQ(olderRenderer.Added().size(), 1u);
  ASSERT_EQ(newerRenderer.Added().size(), 1u);
  EXPECT_EQ(olderRenderer.Added()[0].indices.size(), 20u * 3);
  EXPECT_EQ(newerRenderer.Added()[0].indices.size(), 30u * 3);
}

}  // namespace
}  // namespace ovra
