#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

#include "ovra/model.h"
#include "streaming/model_pimpl.h"
#include "support/model_files.h"
#include "support/model_pump.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/recording_renderer.h"
#include "tzm_writer/zlib_compress.h"

namespace ovra {
namespace {

using test::RecordingDataSource;
using Mode = RecordingDataSource::Mode;
using Request = RecordingDataSource::Request;

constexpr const char* kAdopted = "Status: Finished tzm model initialization, starting downloading of root nodes.";
constexpr const char* kFullyInitialized = "Status: Fully initialized";
// First loads at a depth no tree here reaches: initialization alone.
constexpr int kNoFirstNodes = 99;
constexpr const char* kHeaderFailure =
    "Error: Failed to initialize tzm model, because the header could not be parsed correctly.";
constexpr const char* kIndexFailure =
    "Error: Failed to initialize tzm model, because the index of the tzm file was not parsed "
    "succesfully.";
constexpr const char* kNodeFailure =
    "Error: Failed to initialize tzm model, because the node structure was not recognized.";

class ModelInitTest : public testing::Test {
 protected:
  detail::ModelPimpl& Pimpl() { return detail::ModelAccess::Pimpl(model); }

  void Init(RecordingDataSource& source) { model.Init(source, renderer, 1.0f, Vec3{1, 2, 3}, kNoFirstNodes, 0); }

  // Runs frames until the model logged anything, then a few more so that
  // nothing else follows.
  std::vector<std::string> RunUntilLogged(RecordingDataSource& source) {
    EXPECT_TRUE(test::RunFramesUntil(model, source, [&] { return !log.Lines().empty(); }));
    for (int i = 0; i < 3; ++i) {
      source.AnswerPending();
      model.UpdateRunningTasks();
    }
    return log.Lines();
  }

  test::ScopedRecordingLogger log;
  test::RecordingRenderer renderer;
  Model model;
};

void ExpectTreeMatches(const tools::NodeDescription& expected, const ModelNode& node, const detail::ModelPimpl& model,
                       uint32_t depth) {
  EXPECT_EQ(node.minX, expected.box.minX);
  EXPECT_EQ(node.maxY, expected.box.maxY);
  EXPECT_EQ(node.maxZ, expected.box.maxZ);
  EXPECT_EQ(node.surfaceArea, expected.surfaceArea.value_or(1.0f));
  EXPECT_EQ(node.depth, depth);
  EXPECT_EQ(node.model, &model);
  EXPECT_EQ(node.context, model.context.get());
  EXPECT_EQ(node.shownLevel, -1);
  ASSERT_EQ(node.levels.size(), expected.levels.size());
  for (size_t i = 0; i < node.levels.size(); ++i) {
    EXPECT_EQ(node.levels[i].geometry, expected.levels[i].geometry);
    EXPECT_EQ(node.levels[i].material, expected.levels[i].material);
    EXPECT_EQ(node.levels[i].colorMap, expected.levels[i].colorMap);
    EXPECT_EQ(node.levels[i].triangleCount, expected.levels[i].triangleCount);
  }
  ASSERT_EQ(node.children.size(), expected.children.size());
  for (size_t i = 0; i < node.children.size(); ++i) {
    EXPECT_EQ(node.children[i]->parent, &node);
    ExpectTreeMatches(expected.children[i], *node.children[i], model, depth + 1);
  }
}

TEST_F(ModelInitTest, AdoptsTheWrittenTreeWithEitherKindOfHost) {
  for (Mode mode : {Mode::AnswerImmediately, Mode::AnswerLater}) {
    test::ScopedRecordingLogger scopedLog;
    Model fresh;
    const tools::DocumentDescription document = test::SmallTreeDocument();
    RecordingDataSource source(test::WriteModelFile(document), mode);
    fresh.Init(source, renderer, 1.0f, Vec3{}, kNoFirstNodes, 0);
    ASSERT_TRUE(test::RunFramesUntil(fresh, source, [&] { return fresh.InitializationComplete(); }));
    EXPECT_EQ(scopedLog.Lines(), (std::vector<std::string>{kAdopted, kFullyInitialized}));

    detail::ModelPimpl& pimpl = detail::ModelAccess::Pimpl(fresh);
    ASSERT_TRUE(pimpl.rootNode);
    ExpectTreeMatches(document.root, *pimpl.rootNode, pimpl, 0);
    const ModelMaterial* stone = pimpl.GetMaterial("stone");
    ASSERT_NE(stone, nullptr);
    EXPECT_EQ(stone->roughness, 0.25f);
    EXPECT_EQ(stone->albedo.y, 0.5f);
    EXPECT_EQ(pimpl.GetMaterial("glass")->useTransmission, true);
    EXPECT_EQ(pimpl.GetMaterial("wood"), nullptr);
    EXPECT_TRUE(pimpl.context->layout.filesByName.contains("a1.mesh"));
    EXPECT_EQ(source.Requests(), (std::vector<Request>{{1112, 0, 262144}}))
        << "a small file needs the first request only";
    EXPECT_TRUE(renderer.Added().empty());
  }
}

TEST_F(ModelInitTest, LevelsBeyondTheFourthAreDroppedWithOneWarning) {
  tools::DocumentDescription document = test::SmallTreeDocument();
  auto addLevels = [](tools::NodeDescription& node, int count) {
    for (int i = 0; i < count; ++i) node.levels.push_back(node.levels.back());
  };
  addLevels(document.root.children[0], 4);  // 2 levels + 4 = 6
  addLevels(document.root.children[1], 4);  // 1 + 4 = 5
  RecordingDataSource source(test::WriteModelFile(document), Mode::AnswerImmediately);
  Init(source);
  const std::vector<std::string> lines = RunUntilLogged(source);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(),
            "Warning: Dropped 3 node levels beyond the fourth; only four levels per node can be streamed.");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("Warning"); }),
            1);
  const ModelNode& root = *Pimpl().rootNode;
  EXPECT_EQ(root.children[0]->levels.size(), 4u);
  EXPECT_EQ(root.children[1]->levels.size(), 4u);
  EXPECT_EQ(root.children[0]->children[0]->levels.size(), 1u);
}

TEST_F(ModelInitTest, StoresParametersAndCameraPosition) {
  EXPECT_EQ(model.LocalCameraPosition().x, 0.0f);
  model.UpdateLocalCameraPosition(Vec3{5, 5, 5});
  EXPECT_EQ(model.LocalCameraPosition().x, 0.0f) << "lost before Init";
  model.UpdateRunningTasks();  // nothing to pump yet

  RecordingDataSource source(test::WriteModelFile(test::SmallTreeDocument()), Mode::NeverAnswer);
  model.Init(source, renderer, 2.5f, Vec3{1, 2, 3}, 4, 2);
  model.UpdateLocalCameraPosition(Vec3{5, 6, 7});
  EXPECT_EQ(model.LocalCameraPosition().z, 7.0f);
  EXPECT_EQ(Pimpl().densityScale, 2.5f);
  EXPECT_EQ(Pimpl().modelOffset.y, 2.0f);
  EXPECT_EQ(Pimpl().startDepth, 4);
  EXPECT_EQ(Pimpl().startLevel, 2);
}

TEST_F(ModelInitTest, LargeIndexIsFetchedWithRoomForTheDocument) {
  // H = 300 and indexSize = 262,000: the first 262,144 bytes do not hold the
  // index, so the next request reaches H + 3 * indexSize.
  std::string header = "v.00001;0000300;indexSize=262000;pad=";
  header += std::string(300 - header.size() - 1, 'x') + ";";
  ASSERT_EQ(header.size(), 300u);
  RecordingDataSource source(std::vector<uint8_t>(header.begin(), header.end()));
  Init(source);
  EXPECT_EQ(RunUntilLogged(source), std::vector<std::string>{kIndexFailure});
  EXPECT_EQ(source.Requests(), (std::vector<Request>{{1112, 0, 262144}, {1113, 262144, 524156}}));
}

TEST_F(ModelInitTest, NodeDocumentBeyondTheFirstRequestIsFetchedToItsEnd) {
  tools::DocumentDescription document = test::SmallTreeDocument();
  std::mt19937 random(5);
  std::string noise(600000, ' ');
  for (char& c : noise) c = static_cast<char>('a' + random() % 26);
  document.materials["noise"] = {{"name", noise}};
  tools::TzmWriter writer;
  writer.SetNodeDocument(tools::NodeDocumentJson(document));
  const auto file = writer.Write();
  ASSERT_GT(file.size(), 262144u);

  RecordingDataSource source(file);
  Init(source);
  EXPECT_EQ(RunUntilLogged(source), (std::vector<std::string>{kAdopted, kFullyInitialized}));
  EXPECT_EQ(source.Requests(), (std::vector<Request>{{1112, 0, 262144}, {1113, 262144, file.size() - 262144}}));
}

struct FailureCase {
  const char* name;
  std::vector<uint8_t> file;
  const char* message;
};

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> FileWithIndex(const std::vector<uint8_t>& index) {
  const std::string header = "v.00001;0000030;indexSize=" + std::to_string(index.size()) + ";";
  std::vector<uint8_t> file = Text(header.size() == 30 ? header : header + std::string(30 - header.size(), ' '));
  file.insert(file.end(), index.begin(), index.end());
  return file;
}

std::vector<uint8_t> DeepTreeFile() {
  nlohmann::json node = nlohmann::json::object();
  for (uint32_t i = 0; i <= kMaxNodeDepth; ++i) node = {{"children", {node}}};
  node["version"] = "0.0.3";
  tools::TzmWriter writer;
  writer.SetNodeDocument(node);
  return writer.Write();
}

TEST_F(ModelInitTest, EachFailureLogsItsMessageAndStops) {
  std::string longHeader = "v.00001;0300000;indexSize=1;";
  longHeader += std::string(300000 - longHeader.size(), 'x');
  const FailureCase cases[] = {
      {"wrong tag", Text("v.00002;0000029;indexSize=10;"), kHeaderFailure},
      {"file shorter than a header", Text("v.0"), kHeaderFailure},
      {"header longer than the first request", Text(longHeader), kHeaderFailure},
      {"index not zlib", FileWithIndex(Text("0;10;nodes;")), kIndexFailure},
      {"empty index", FileWithIndex({}), kIndexFailure},
      {"index of two pieces", FileWithIndex(tools::CompressZlib(Text("0;10;"))), kIndexFailure},
      {"tree too deep", DeepTreeFile(), kNodeFailure},
  };
  for (const FailureCase& c : cases) {
    test::ScopedRecordingLogger scopedLog;
    Model fresh;
    RecordingDataSource source(c.file);
    fresh.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
    ASSERT_TRUE(test::RunFramesUntil(fresh, source, [&] { return !scopedLog.Lines().empty(); })) << c.name;
    for (int i = 0; i < 3; ++i) fresh.UpdateRunningTasks();
    EXPECT_EQ(scopedLog.Lines(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_FALSE(fresh.InitializationComplete());
    EXPECT_TRUE(detail::ModelAccess::Pimpl(fresh).context->runningTaskGroups.empty()) << c.name;
  }
}

TEST_F(ModelInitTest, DocumentErrorReachesTheHostOnceAndLogsNothing) {
  for (const char* text : {"{\"children\": [", "{\"version\": 0.3}", "[1, }"}) {
    test::ScopedRecordingLogger scopedLog;
    Model fresh;
    tools::TzmWriter writer;
    writer.SetNodeDocumentBytes(tools::CompressZlib(Text(text)));
    RecordingDataSource source(writer.Write(), Mode::AnswerImmediately);
    fresh.Init(source, renderer, 1.0f, Vec3{}, -1, -1);
    const auto& groups = detail::ModelAccess::Pimpl(fresh).context->runningTaskGroups;
    int thrown = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!groups.empty() && std::chrono::steady_clock::now() < end) {
      try {
        fresh.UpdateRunningTasks();
      } catch (const nlohmann::json::exception&) {
        ++thrown;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int i = 0; i < 3; ++i) fresh.UpdateRunningTasks();
    EXPECT_EQ(thrown, 1) << text;
    EXPECT_TRUE(scopedLog.Lines().empty()) << text;
    EXPECT_FALSE(detail::ModelAccess::Pimpl(fresh).rootNode) << text;
    EXPECT_FALSE(fresh.InitializationComplete());
  }
}

TEST_F(ModelInitTest, SecondInitIsRejectedAndChangesNothing) {
  RecordingDataSource source(test::WriteModelFile(test::SmallTreeDocument()));
  Init(source);
  const size_t requestsBefore = source.Requests().size();
  RecordingDataSource other(test::WriteModelFile(test::SmallTreeDocument()));
  model.Init(other, renderer, 9.0f, Vec3{}, 1, 1);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_TRUE(log.Lines()[0].starts_with("Error: "));
  EXPECT_EQ(source.Requests().size(), requestsBefore);
  EXPECT_TRUE(other.Requests().empty());
  EXPECT_EQ(Pimpl().densityScale, 1.0f);
}

}  // namespace
}  // namespace ovra
