#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "content/mesh_decoder.h"
#include "format/container.h"
#include "format/node_document.h"
#include "inspect/model_report.h"
#include "pack/file_output.h"
#include "pack/pack_builder.h"
#include "pack/source_scene.h"
#include "sample_model/terrain_ply.h"
#include "streaming/model_pimpl.h"
#include "support/model_pump.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using tools::pack::PackOptions;

const fs::path kModels = "/usr/share/assimp/models";

std::vector<uint8_t> Pack(const std::vector<fs::path>& inputs, PackOptions options = {}) {
  return tools::pack::PackScene(tools::pack::LoadSourceScenes(inputs), options, {}).file;
}

struct Packed {
  std::vector<uint8_t> file;
  ModelFileLayout layout;
  ParsedNodeDocument document;
};

Packed Read(std::vector<uint8_t> file) {
  Packed packed{std::move(file), {}, {}};
  EXPECT_EQ(ParseContainerHeader(packed.file.data(), packed.file.size(), packed.layout), kHeaderComplete);
  ParseContainerIndex({packed.file.data() + packed.layout.headerSize, packed.layout.indexSize}, packed.layout);
  BuildFilesByName(packed.layout);
  const ModelFileEntry& entry = packed.layout.files.at(0);
  packed.document = ParseNodeDocument(nullptr, packed.file.data() + entry.offset, entry.size);
  return packed;
}

cxm::Mesh DecodeLevel(const Packed& packed, const ModelNode& node, size_t level) {
  const ModelFileEntry& entry = packed.layout.filesByName.at(node.levels[level].geometry);
  const float bounds[6] = {node.minX, node.maxX, node.minY, node.maxY, node.minZ, node.maxZ};
  MeshDecodeError error = MeshDecodeError::kNone;
  cxm::Mesh mesh = DecodeMesh(packed.file.data() + entry.offset, entry.size, bounds, nullptr, &error);
  EXPECT_EQ(error, MeshDecodeError::kNone) << node.levels[level].geometry;
  return mesh;
}

// Real models nobody here wrote, in the formats users bring.
class PackRealModelTest : public testing::TestWithParam<fs::path> {};

TEST_P(PackRealModelTest, StreamsItsFirstLoadsWithTheTrianglesTheTreePromises) {
  const fs::path input = kModels / GetParam();
  ASSERT_TRUE(fs::exists(input)) << input << " (from Debian's assimp-testmodels)";
  test::ScopedRecordingLogger log;
  test::RecordingDataSource source(Pack({input}), test::RecordingDataSource::Mode::AnswerImmediately);
  test::RecordingRenderer renderer;
  Model model;
  model.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
  ASSERT_TRUE(test::RunFramesUntil(model, source, [&] { return model.InitializationComplete(); }));

  std::map<int, const ModelNode*> nodes;
  ForEachNode(*detail::ModelAccess::Pimpl(model).rootNode, [&](const ModelNode& n) { nodes[n.id] = &n; });
  ASSERT_FALSE(renderer.Added().empty());
  for (const auto& added : renderer.Added()) {
    const ModelNode& node = *nodes.at(added.meshId / 4);
    const ModelNodeLevel& level = node.levels.at(static_cast<size_t>(added.meshId % 4));
    EXPECT_EQ(static_cast<int64_t>(added.indices.size() / 3), level.triangleCount) << level.geometry;
    if (!level.colorMap.empty()) {
      EXPECT_FALSE(added.textures[0].pixels.empty()) << level.colorMap;
    }
  }
  for (const std::string& line : log.Lines()) EXPECT_EQ(line.rfind("Error", 0), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(AssimpTestModels, PackRealModelTest,
                         testing::Values("glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb",
                                         "glTF2/BoxTextured-glTF/BoxTextured.gltf",
                                         "glTF/CesiumMilkTruck/CesiumMilkTruck.gltf", "OBJ/spider.obj",
                                         "PLY/Wuson.ply"));

TEST(PackTest, SameInputGivesTheSameBytes) {
  const fs::path input = kModels / "OBJ/spider.obj";
  EXPECT_EQ(Pack({input}), Pack({input}));
}

TEST(PackTest, TreeCoarsensUpwardsAndLeavesStayWithinTheLeafSize) {
  PackOptions options;
  options.leafTriangles = 2000;
  const Packed packed = Read(Pack({kModels / "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb"}, options));
  ASSERT_TRUE(packed.document.root);
  size_t inner = 0;
  ForEachNode(*packed.document.root, [&](const ModelNode& node) {
    if (&node == packed.document.root.get()) return;
    ASSERT_FALSE(node.levels.empty());
    ASSERT_LE(node.levels.size(), 4u);
    for (size_t l = 1; l < node.levels.size(); ++l) {
      EXPECT_LT(node.levels[l].triangleCount, node.levels[l - 1].triangleCount);
    }
    int64_t childTriangles = 0;
    for (const auto& child : node.children) {
      childTriangles += child->levels.front().triangleCount;
      EXPECT_TRUE(child->minX >= node.minX && child->maxX <= node.maxX && child->minY >= node.minY &&
                  child->maxY <= node.maxY && child->minZ >= node.minZ && child->maxZ <= node.maxZ);
    }
    if (node.children.empty()) {
      EXPECT_LE(node.levels.front().triangleCount, 2000);
    } else {
      ++inner;
      EXPECT_LT(node.levels.front().triangleCount, childTriangles) << "refining must add detail";
    }
  });
  EXPECT_GT(inner, 0u);
}

using Position = std::tuple<float, float, float>;

// Positions on open borders of a decoded leaf: edges of one triangle once
// vertices are joined by position, so attribute seams do not count.
std::set<Position> BorderPositions(const cxm::Mesh& mesh) {
  auto at = [&](uint32_t v) {
    const cxm::Vec3f& p = (*mesh.positions)[v];
    return Position{p.x, p.y, p.z};
  };
  std::map<std::pair<Position, Position>, int> edges;
  for (const cxm::Vec3u& t : *mesh.triangles) {
    // Quantisation can fold a thin triangle; its edges say nothing.
    if (at(t.a) == at(t.b) || at(t.b) == at(t.c) || at(t.c) == at(t.a)) continue;
    for (auto [a, b] : {std::pair{t.a, t.b}, std::pair{t.b, t.c}, std::pair{t.c, t.a}}) {
      ++edges[{std::min(at(a), at(b)), std::max(at(a), at(b))}];
    }
  }
  std::set<Position> border;
  for (const auto& [edge, count] : edges) {
    if (count != 1) continue;
    border.insert(edge.first);
    border.insert(edge.second);
  }
  return border;
}

TEST(PackTest, CoarserLevelsKeepTheBordersWhereNeighboursMeet) {
  // A clean surface: every edge pairs up, so every border can be kept.
  const fs::path terrain = fs::temp_directory_path() / "ovra-pack-test-terrain.ply";
  tools::WriteTerrainPly(terrain, 40000);
  PackOptions options;
  options.leafTriangles = 1000;
  const Packed packed = Read(Pack({terrain}, options));
  fs::remove(terrain);
  size_t checked = 0;
  size_t moved = 0;
  ForEachNode(*packed.document.root, [&](const ModelNode& node) {
    if (!node.children.empty() || node.levels.size() < 2) return;
    const auto border = BorderPositions(DecodeLevel(packed, node, 0));
    for (size_t level = 1; level < node.levels.size(); ++level) {
      const cxm::Mesh coarse = DecodeLevel(packed, node, level);
      std::set<Position> positions;
      for (const cxm::Vec3f& p : *coarse.positions) positions.insert({p.x, p.y, p.z});
      ++checked;
      moved +=
          std::all_of(border.begin(), border.end(), [&](const Position& p) { return positions.contains(p); }) ? 0 : 1;
    }
  });
  ASSERT_GT(checked, 100u);
  EXPECT_EQ(moved, 0u) << moved << " of " << checked << " coarser levels moved a border vertex";
}

TEST(PackTest, MeshWhoseEdgesDoNotPairStillGetsCoarserLevels) {
  // Wuson's faces do not share their edges consistently, so no vertex may
  // move under border locking.
  const Packed packed = Read(Pack({kModels / "PLY/Wuson.ply"}));
  ASSERT_EQ(packed.document.root->children.size(), 1u);
  const ModelNode& node = *packed.document.root->children.front();
  ASSERT_GE(node.levels.size(), 2u);
  EXPECT_LT(node.levels[1].triangleCount * 2, node.levels[0].triangleCount);
}

TEST(PackTest, UnreadableInputIsNamedInTheError) {
  const fs::path missing = fs::temp_directory_path() / "ovra-no-such-model.obj";
  try {
    tools::pack::LoadSourceScenes({missing});
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(missing.string()), std::string::npos) << error.what();
  }
}

TEST(PackTest, FailedWriteLeavesNoFileBehind) {
  const fs::path directory = fs::temp_directory_path() / "ovra-pack-test-dir";
  fs::create_directories(directory);
  const fs::path target = directory / "is-a-directory";
  fs::create_directories(target);
  EXPECT_THROW(tools::WriteFileAtomically(target, {1, 2, 3}), std::runtime_error);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory)) ++entries;
  EXPECT_EQ(entries, 1u) << "only the directory that was in the way";
  fs::remove_all(directory);
}

TEST(InspectTest, PackedModelIsSoundAndEveryEntryDecodes) {
  const tools::ModelReport report =
      tools::InspectModel(Pack({kModels / "glTF/CesiumMilkTruck/CesiumMilkTruck.gltf"}), true);
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  EXPECT_EQ(report.json["version"], "0.0.3");
  EXPECT_GT(report.json["decoded"]["geometries"].get<int>(), 0);
  EXPECT_EQ(report.json["decoded"]["textures"].get<int>(), 1);
  EXPECT_NE(tools::ReportText(report).find("textures/CesiumMilkTruck.png"), std::string::npos);
}

TEST(InspectTest, DamagedFilesAreReported) {
  const std::vector<uint8_t> sound = Pack({kModels / "OBJ/spider.obj"});
  ModelFileLayout layout;
  ASSERT_EQ(ParseContainerHeader(sound.data(), sound.size(), layout), kHeaderComplete);
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"not a tzm file", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!', '!', '!'}},
      {"cut inside the index", {sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(layout.headerSize + 4)}},
      {"cut inside the body", {sound.begin(), sound.end() - 100}},
  };
  std::vector<uint8_t> flipped = sound;
  flipped[layout.headerSize + layout.indexSize + 3] ^= 0xFF;  // inside the compressed node document
  cases.push_back({"damaged node document", flipped});
  for (const Case& test : cases) {
    EXPECT_FALSE(tools::InspectModel(test.file, true).problems.empty()) << test.what;
  }
}

}  // namespace
}  // namespace ovra
