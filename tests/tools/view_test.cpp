#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "view/camera_path.h"
#include "view/frame_log.h"
#include "view/gl_renderer.h"
#include "view/headless_context.h"
#include "view/headless_run.h"

namespace ovra::view {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEngine = "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

Box UnitBox() {
  Box box;
  box.Add({-1, -1, -1});
  box.Add({1, 1, 1});
  return box;
}

TEST(CameraPathTest, OrbitKeepsItsDistanceAndLooksAtTheCentre) {
  const CameraPath path = CameraPath::Make("orbit", UnitBox(), {0, 1, 0});
  const float first = Length(path.At(0, 100).position);
  for (int frame : {0, 25, 50, 99}) {
    const CameraPose pose = path.At(frame, 100);
    EXPECT_NEAR(Length(pose.position), first, 1e-3f);
    EXPECT_NEAR(Length(pose.target), 0.0f, 1e-6f);
  }
  EXPECT_GT(Length(path.At(0, 100).position - path.At(50, 100).position), 1.0f) << "it moves";
  EXPECT_EQ(path.RestFrame(100), 100) << "an orbit never rests";
}

TEST(CameraPathTest, FlythroughComesCloserThenRests) {
  const CameraPath path = CameraPath::Make("flythrough", UnitBox(), {0, 1, 0});
  const int rest = path.RestFrame(100);
  EXPECT_EQ(rest, 60);
  EXPECT_GT(Length(path.At(0, 100).position), 2.0f * Length(path.At(rest, 100).position));
  EXPECT_FLOAT_EQ(Length(path.At(rest, 100).position - path.At(99, 100).position), 0.0f);
}

TEST(CameraPathTest, ReadsKeyPosesFromAFile) {
  const fs::path file = fs::temp_directory_path() / "ovra-camera-path.txt";
  std::ofstream(file) << "# x y z tx ty tz\n0 0 10 0 0 0\n10 0 10 0 0 0\n";
  const CameraPath path = CameraPath::Make(file.string(), UnitBox(), {0, 1, 0});
  EXPECT_FLOAT_EQ(path.At(0, 11).position.x, 0.0f);
  EXPECT_FLOAT_EQ(path.At(10, 11).position.x, 10.0f);
  EXPECT_NEAR(path.At(5, 11).position.x, 5.0f, 1e-4f);

  std::ofstream(file) << "0 0 10 0 0\n";
  EXPECT_THROW(CameraPath::Make(file.string(), UnitBox(), {0, 1, 0}), std::runtime_error);
  fs::remove(file);
  EXPECT_THROW(CameraPath::Make(file.string(), UnitBox(), {0, 1, 0}), std::runtime_error);
}

TEST(CameraPathTest, GuessesTheUpAxisOfFlatModels) {
  Box terrain;
  terrain.Add({-64, -64, 0});
  terrain.Add({64, 64, 5});
  EXPECT_FLOAT_EQ(GuessUp(terrain).z, 1.0f);
  EXPECT_FLOAT_EQ(GuessUp(UnitBox()).y, 1.0f);
}

FrameRecord Record(int frame, double seconds, uint64_t meshesAdded, uint64_t pending) {
  FrameRecord record;
  record.frame = frame;
  record.seconds = seconds;
  record.initialized = true;
  record.meshes = meshesAdded > 0 ? 1 : 0;
  record.meshesAdded = meshesAdded;
  record.pendingOperations = pending;
  record.drawnTriangles = meshesAdded * 100;
  record.libraryMs = frame;
  return record;
}

TEST(FrameLogTest, SettlesAtTheFirstFrameAfterTheLastChange) {
  FrameLog log;
  log.Add(Record(0, 0.0, 0, 0));
  log.Add(Record(1, 0.1, 1, 0));  // first mesh
  log.Add(Record(2, 0.2, 1, 1));  // camera rests from here
  log.Add(Record(3, 0.3, 2, 0));  // last change
  log.Add(Record(4, 0.4, 2, 0));
  log.Add(Record(5, 0.5, 2, 0));
  const RunSummary summary = log.Summarize(2, 1000);
  ASSERT_TRUE(summary.timeToFirstMesh.has_value());
  EXPECT_DOUBLE_EQ(*summary.timeToFirstMesh, 0.1);
  ASSERT_TRUE(summary.timeToSettle.has_value());
  EXPECT_NEAR(*summary.timeToSettle, 0.2, 1e-9);
  EXPECT_EQ(summary.peakTriangles, 200u);
  EXPECT_DOUBLE_EQ(summary.libraryMsWorst, 5.0);
  EXPECT_DOUBLE_EQ(summary.libraryMsMedian, 3.0);
}

TEST(FrameLogTest, StillBusyAtTheEndHasNotSettled) {
  FrameLog log;
  log.Add(Record(0, 0.0, 1, 0));
  log.Add(Record(1, 0.1, 1, 1));
  EXPECT_FALSE(log.Summarize(0, 0).timeToSettle.has_value());
  EXPECT_NE(FrameLog::SummaryTable(log.Summarize(0, 0)).find("did not settle"), std::string::npos);
  EXPECT_NE(FrameLog::SummaryTable(log.Summarize(2, 0)).find("camera never rests"), std::string::npos)
      << "an orbit's rest frame lies past the run";
}

// The rest needs an OpenGL context, from Mesa through EGL.
class HeadlessGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    context_ = HeadlessContext::Create(64, 64, &error);
    ASSERT_NE(context_, nullptr) << error << " (scripts/install-deps.sh installs Mesa)";
  }
  std::unique_ptr<HeadlessContext> context_;
};

Mesh Triangle(const std::array<float, 9>& positions, const std::array<uint32_t, 3>& indices) {
  Mesh mesh;
  mesh.positions = positions.data();
  mesh.positionsByteSize = sizeof positions;
  mesh.indices = indices.data();
  mesh.indicesByteSize = sizeof indices;
  return mesh;
}

TEST_F(HeadlessGlTest, ShowsASwapOnlyWhenAllItsMeshesArrivedAndCallsOnShownOnceAfterDrawing) {
  GlRenderer renderer(GlCapabilities::OfCurrentContext());
  const std::array<float, 9> positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const std::array<uint32_t, 3> indices = {0, 1, 2};
  const Mesh mesh = Triangle(positions, indices);
  renderer.AddMesh(mesh, 4, -1, nullptr, 0, {}, {});
  EXPECT_EQ(renderer.Statistics().meshes, 1u) << "first loads show at once";

  int shownCalls = 0;
  const int ids[] = {9, 13};
  renderer.AddMesh(mesh, 9, 7, ids, 2, {}, [&] { ++shownCalls; });
  renderer.ShowCompleteOperations();
  EXPECT_EQ(renderer.Statistics().meshes, 1u) << "half a swap stays hidden";
  EXPECT_EQ(renderer.Statistics().waitingOperations, 1u);
  renderer.AddMesh(mesh, 13, 7, ids, 2, {}, [&] { ++shownCalls; });
  EXPECT_EQ(renderer.Statistics().meshes, 1u) << "hidden until the next frame shows it";
  renderer.ShowCompleteOperations();
  EXPECT_EQ(renderer.Statistics().meshes, 3u);
  EXPECT_EQ(shownCalls, 0) << "not before it was drawn";
  renderer.CallShownCallbacks();
  renderer.CallShownCallbacks();
  EXPECT_EQ(shownCalls, 1);

  renderer.RemoveMesh(4);
  renderer.RemoveMesh(4);
  EXPECT_EQ(renderer.Statistics().meshes, 2u);
  EXPECT_EQ(renderer.Statistics().triangles, 2u);
  EXPECT_FLOAT_EQ(renderer.Bounds().max.x, 1.0f);
}

TEST_F(HeadlessGlTest, AnswersTranscodeFormatsFromTheContext) {
  GlCapabilities none;
  EXPECT_EQ(GlRenderer(none).SelectTranscodeFormat(64, 64, 4), 13) << "RGBA32 without compressed formats";
  GlCapabilities s3tc;
  s3tc.s3tc = true;
  EXPECT_EQ(GlRenderer(s3tc).SelectTranscodeFormat(64, 64, 4), 3);
  EXPECT_EQ(GlRenderer(s3tc).SelectTranscodeFormat(64, 64, 3), 2);
  GlCapabilities both = s3tc;
  both.bptc = true;
  EXPECT_EQ(GlRenderer(both).SelectTranscodeFormat(64, 64, 3), 6) << "BC7 when the context has it";
}

// Loads a saved RGB picture.
std::vector<std::array<uint8_t, 3>> Pixels(const std::string& path) {
  int width = 0, height = 0, channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> data(stbi_load(path.c_str(), &width, &height, &channels, 3),
                                                 stbi_image_free);
  std::vector<std::array<uint8_t, 3>> pixels;
  if (data == nullptr) return pixels;
  for (int i = 0; i < width * height; ++i)
    pixels.push_back({data.get()[3 * i], data.get()[3 * i + 1], data.get()[3 * i + 2]});
  return pixels;
}

bool Background(const std::array<uint8_t, 3>& pixel) {
  return std::abs(pixel[0] - 28) <= 2 && std::abs(pixel[1] - 31) <= 2 && std::abs(pixel[2] - 36) <= 2;
}

// Which level colour (red, amber, green, blue for levels 0 to 3) a shaded pixel shows.
int LevelOf(const std::array<uint8_t, 3>& pixel) {
  const int r = pixel[0], g = pixel[1], b = pixel[2];
  if (b > r && b > g) return 3;
  if (g > r) return 2;
  return 2 * g > r ? 1 : 0;
}

TEST(HeadlessViewTest, StreamsThePackedEngineAlongAFlythrough) {
  const fs::path dir = fs::temp_directory_path() / ("ovra-view-test-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string packed = (dir / "engine.tzm").string();
  const std::string pack =
      std::string(OVRA_PACK) + " --quiet --leaf-triangles 3000 -o " + packed + " " + kEngine + " > /dev/null";
  ASSERT_EQ(std::system(pack.c_str()), 0);

  HeadlessSettings settings;
  settings.session.source = packed;
  settings.session.triangleBudget = 200000;
  settings.outputDir = (dir / "out").string();
  settings.width = 320;
  settings.height = 180;
  settings.frames = 120;
  settings.saveEvery = 20;
  const HeadlessResult result = RunHeadless(settings);

  ASSERT_FALSE(result.saved.empty());
  const std::vector<std::array<uint8_t, 3>> last = Pixels(result.saved.back().material);
  ASSERT_EQ(last.size(), 320u * 180u);
  const auto covered = std::count_if(last.begin(), last.end(), [](const auto& p) { return !Background(p); });
  EXPECT_GT(covered, static_cast<long>(last.size() / 5)) << "the engine fills a good part of the picture";

  std::set<int> levelsSeen;
  for (const SavedFrame& saved : result.saved) {
    std::array<size_t, 4> counts{};
    const std::vector<std::array<uint8_t, 3>> pixels = Pixels(saved.levels);
    for (const auto& pixel : pixels) {
      if (!Background(pixel)) ++counts[static_cast<size_t>(LevelOf(pixel))];
    }
    for (int level = 0; level < 4; ++level) {
      if (counts[static_cast<size_t>(level)] > pixels.size() / 200) levelsSeen.insert(level);
    }
  }
  EXPECT_GE(levelsSeen.size(), 2u) << "colour by level shows the level of detail change along the flight";

  ASSERT_TRUE(result.summary.timeToFirstMesh.has_value());
  EXPECT_GT(result.summary.bytesReceived, 0u);
  EXPECT_LE(result.summary.bytesReceived, result.summary.fileSize + (1u << 18)) << "nothing fetched twice";
  EXPECT_TRUE(fs::exists(result.csvPath));
  EXPECT_FALSE(result.plotPath.empty()) << "gnuplot is installed by scripts/install-deps.sh";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace ovra::view
