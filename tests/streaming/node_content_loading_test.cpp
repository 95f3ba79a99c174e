#include "streaming/node_content_loading.h"

#include <gtest/gtest.h>

#include "streaming/model_pimpl.h"
#include "support/images.h"
#include "support/model_files.h"
#include "support/model_pump.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"
#include "tasks/download_cache.h"

namespace ovra {
namespace {

using test::RecordingDataSource;

tools::LevelDescription Level(std::string geometry) {
  tools::LevelDescription level;
  level.geometry = std::move(geometry);
  level.triangleCount = 20;
  return level;
}

// A model whose root has one child with the given levels, initialised
// without first loads, so tests can load levels themselves.
class NodeContentTest : public testing::Test {
 protected:
  void Load(std::vector<tools::LevelDescription> levels) {
    builder.document.root.children.push_back({{-2, 2, -2, 2, 0, 1}, 4.0f, std::move(levels), {}});
    source = std::make_unique<RecordingDataSource>(builder.Write(), RecordingDataSource::Mode::AnswerLater);
    model.Init(*source, renderer, 1.0f, Vec3{}, 99, 0);
    ASSERT_TRUE(test::RunFramesUntil(model, *source, [&] { return model.InitializationComplete(); }));
    requestsBefore = source->Requests().size();
  }

  ModelNode& Child() { return *detail::ModelAccess::Pimpl(model).rootNode->children[0]; }
  detail::ModelContext& Context() { return *detail::ModelAccess::Pimpl(model).context; }

  // Runs `task` in a download group of its own until it finishes.
  template <typename T>
  void Run(const std::shared_ptr<Task<T>>& task, DownloadGroup* group) {
    StartTaskGroup(Context().runningTaskGroups, {task, Context().downloader->SubmitDownloadGroup(group)});
    ASSERT_TRUE(test::RunFramesUntil(model, *source, [&] { return Context().runningTaskGroups.empty(); }));
  }

  size_t NewRequests() const { return source->Requests().size() - requestsBefore; }

  test::ScopedRecordingLogger log;
  test::ModelBuilder builder;
  std::unique_ptr<RecordingDataSource> source;
  test::RecordingRenderer renderer;
  Model model;
  size_t requestsBefore = 0;
};

TEST_F(NodeContentTest, SharedOcclusionFileIsFetchedOnceAndLightMapNever) {
  builder.AddFile("g", tools::EncodeMesh(test::SmallMesh(1), {}).bytes);
  // Entries far apart, so that each one is its own host request.
  const std::vector<uint8_t> filler(40000, 0);
  for (const char* name : {"c.png", "a.png", "n.png", "mr.png", "e.png", "o.png", "l.png"}) {
    builder.AddFile("pad", filler);
    builder.AddFile(name, test::EncodePng(2, 2, 3, test::PatternPixels(2, 2, 3)));
  }
  tools::LevelDescription shared = Level("g");
  shared.colorMap = "c.png";
  shared.colorMapAlpha = "a.png";
  shared.normalMap = "n.png";
  shared.metRoughMap = "mr.png";
  shared.occlusionMap = "mr.png";
  shared.emissiveMap = "e.png";
  shared.lightMap = "l.png";
  tools::LevelDescription separate = shared;
  separate.occlusionMap = "o.png";
  Load({shared, separate});

  struct Case {
    int level;
    size_t requests;
    uint32_t occlusionFormat;
    bool occlusionPixels;
  };
  for (const Case& c : {Case{0, 6, 4, false}, Case{1, 7, 3, true}}) {
    DownloadCache::Instance().Clear();
    requestsBefore = source->Requests().size();
    DownloadGroup* group = Context().downloader->CreateDownloadGroup();
    auto content = CreateNodeContentTask(Child(), c.level, group);
    Run(content, group);
    EXPECT_EQ(NewRequests(), c.requests) << "level " << c.level;
    const OwnedMesh& owned = content->Result();
    EXPECT_EQ(owned.textures[3].format, c.occlusionFormat);
    EXPECT_EQ(!owned.textures[3].pixels->empty(), c.occlusionPixels);
    EXPECT_EQ(owned.textures[0].format, 4u) << "colour with its alpha merged in";
    EXPECT_EQ(owned.mesh.triangles->size(), 20u);
  }
}

TEST_F(NodeContentTest, LevelsThatCannotLoadFinishAtOnceWithoutRequests) {
  builder.AddFile("g", tools::EncodeMesh(test::SmallMesh(2), {}).bytes);
  Load({Level("g"), Level("not in the container")});
  for (int level : {-1, 2, 7, 1}) {
    DownloadGroup* group = Context().downloader->CreateDownloadGroup();
    auto content = CreateNodeContentTask(Child(), level, group);
    content->MarkStarted();
    EXPECT_TRUE(content->IsFinished()) << level;
    EXPECT_TRUE(content->Result().mesh.positions->empty());
    Context().downloader->SubmitDownloadGroup(group);
  }
  EXPECT_EQ(NewRequests(), 0u);
}

TEST_F(NodeContentTest, EmptyTextureNamesGiveDefaultTextures) {
  builder.AddFile("g", tools::EncodeMesh(test::SmallMesh(3), {}).bytes);
  tools::LevelDescription level = Level("g");
  level.normalMap = "missing.png";
  Load({level});
  DownloadGroup* group = Context().downloader->CreateDownloadGroup();
  auto content = CreateNodeContentTask(Child(), 0, group);
  Run(content, group);
  for (const cxm::Texture& texture : content->Result().textures) {
    EXPECT_TRUE(texture.pixels->empty());
    EXPECT_EQ(texture.format, 4u);
  }
  EXPECT_EQ(NewRequests(), 1u) << "only the geometry reaches the host";
}

TEST_F(NodeContentTest, LoadTaskAddsTheMeshUnderItsIdentifier) {
  builder.AddFile("g", tools::EncodeMesh(test::SmallMesh(4), {}).bytes);
  Load({Level("g"), Level("g")});
  Child().id = 3;
  DownloadGroup* group = Context().downloader->CreateDownloadGroup();
  Run(CreateNodeLoadTask(Child(), 1, group), group);
  ASSERT_EQ(renderer.Added().size(), 1u);
  const auto& added = renderer.Added()[0];
  EXPECT_EQ(added.meshId, 13);
  EXPECT_EQ(added.operationId, -1);
  EXPECT_TRUE(added.operationMeshIds.empty());
  EXPECT_FALSE(added.onShown);
  EXPECT_EQ(added.indices.size(), 60u);
  EXPECT_EQ(Child().shownLevel, 1);

  group = Context().downloader->CreateDownloadGroup();
  Run(CreateNodeLoadTask(Child(), -1, group), group);
  EXPECT_EQ(renderer.Added().size(), 1u) << "a level that does not exist shows nothing";
  EXPECT_EQ(Child().shownLevel, 1);
}

}  // namespace
}  // namespace ovra
