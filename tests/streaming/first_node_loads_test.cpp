#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "streaming/model_pimpl.h"
#include "support/model_files.h"
#include "support/model_pump.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"

namespace ovra {
namespace {

using test::RecordingDataSource;
using tools::NodeDescription;

NodeDescription Node(tools::BoxDescription box, float area, int levels, std::vector<NodeDescription> children = {}) {
  NodeDescription node{box, area, {}, std::move(children)};
  for (int i = 0; i < levels; ++i) {
    tools::LevelDescription level;
    level.geometry = "mesh";
    level.triangleCount = 20 >> i;
    node.levels.push_back(level);
  }
  return node;
}

struct Shown {
  std::string path;  // child indices from the root, "" for the root
  int level;
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& shown, std::ostream* os) { *os << "node '" << shown.path << "' level " << shown.level; }

// Initialises a model of `root` with the given start parameters and camera,
// and reports which nodes were shown at which level.
class FirstLoadsTest : public testing::Test {
 protected:
  std::vector<Shown> Run(NodeDescription root, int startDepth, int startLevel, Vec3 camera = {}) {
    test::ModelBuilder builder;
    builder.document.root = std::move(root);
    builder.AddFile("mesh", tools::EncodeMesh(test::SmallMesh(5), {}).bytes);
    source = std::make_unique<RecordingDataSource>(builder.Write(), RecordingDataSource::Mode::AnswerImmediately);
    model.Init(*source, renderer, 1.0f, Vec3{}, startDepth, startLevel);
    model.UpdateLocalCameraPosition(camera);
    EXPECT_TRUE(test::RunFramesUntil(model, *source, [&] { return model.InitializationComplete(); }));
    std::map<int, std::string> paths;
    CollectPaths(*detail::ModelAccess::Pimpl(model).rootNode, "", paths);
    std::vector<Shown> shown;
    for (const auto& added : renderer.Added()) {
      // Levels 0 to 3 of node id n are 4n to 4n + 3.
      shown.push_back({paths.at(added.meshId / 4), added.meshId % 4});
    }
    // Loads finish in no particular order.
    std::sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) { return a.path < b.path; });
    return shown;
  }

  static void CollectPaths(const ModelNode& node, const std::string& path, std::map<int, std::string>& paths) {
    paths[node.id] = path;
    for (size_t i = 0; i < node.children.size(); ++i) {
      CollectPaths(*node.children[i], path + std::to_string(i), paths);
    }
  }

  test::ScopedRecordingLogger log;
  std::unique_ptr<RecordingDataSource> source;
  test::RecordingRenderer renderer;
  Model model;
};

constexpr tools::BoxDescription kUnit = {0, 1, 0, 1, 0, 1};

TEST_F(FirstLoadsTest, StartDepthZeroShowsTheRoot) {
  EXPECT_EQ(Run(Node(kUnit, 1, 2, {Node(kUnit, 1, 1)}), 0, 0), (std::vector<Shown>{{"", 0}}));
}

TEST_F(FirstLoadsTest, StartDepthPicksEveryNodeThereAtItsCoarsestFittingLevel) {
  const NodeDescription deep = Node(kUnit, 1, 3);
  const NodeDescription root =
      Node(kUnit, 1, 0, {Node(kUnit, 1, 1, {deep, Node(kUnit, 1, 1)}), Node(kUnit, 1, 1, {deep})});
  EXPECT_EQ(Run(root, 2, 5), (std::vector<Shown>{{"00", 2}, {"01", 0}, {"10", 2}}));
}

TEST_F(FirstLoadsTest, DistanceRuleChoosesLevelsByApparentSize) {
  // From the origin: the first child contains the camera (d = 0), the others
  // are 9.5 away (d + 0.5 = 10).
  const tools::BoxDescription far = {9.5f, 10, 0, 1, 0, 1};
  const NodeDescription root = Node(kUnit, 1, 0,
                                    {Node(kUnit, 1, 4),        // r = 2: level 0
                                     Node(kUnit, 0.0081f, 4),  // r = 0.18: level 2
                                     Node(kUnit, 0.0081f, 2),  // fewer levels: its last
                                     Node(far, 100, 4),        // r = 1: level 0
                                     Node(far, 9, 4),          // r = 0.3: level 1
                                     Node(far, 1, 4),          // r = 0.1: level 2
                                     Node(far, 0.01f, 4)});    // r = 0.01: last level
  EXPECT_EQ(Run(root, -1, 3),
            (std::vector<Shown>{{"0", 0}, {"1", 2}, {"2", 1}, {"3", 0}, {"4", 1}, {"5", 2}, {"6", 3}}));
}

TEST_F(FirstLoadsTest, NothingToShowStillCompletes) {
  struct Case {
    const char* name;
    NodeDescription root;
    int startDepth;
  };
  const Case cases[] = {
      {"root without children", Node(kUnit, 1, 2), -1},
      {"start depth below the tree", Node(kUnit, 1, 2, {Node(kUnit, 1, 1)}), 5},
      {"child without levels", Node(kUnit, 1, 0, {Node(kUnit, 1, 0)}), -1},
  };
  for (const Case& c : cases) {
    test::ScopedRecordingLogger scopedLog;
    test::RecordingRenderer quiet;
    Model fresh;
    test::ModelBuilder builder;
    builder.document.root = c.root;
    RecordingDataSource file(builder.Write(), RecordingDataSource::Mode::AnswerImmediately);
    fresh.Init(file, quiet, 1.0f, Vec3{}, c.startDepth, 0);
    ASSERT_TRUE(test::RunFramesUntil(fresh, file, [&] { return fresh.InitializationComplete(); })) << c.name;
    EXPECT_TRUE(quiet.Added().empty()) << c.name;
    EXPECT_EQ(scopedLog.Lines().back(), "Status: Fully initialized") << c.name;
    for (const auto& child : detail::ModelAccess::Pimpl(fresh).rootNode->children) {
      EXPECT_EQ(child->shownLevel, -1) << c.name;
    }
  }
}

}  // namespace
}  // namespace ovra
