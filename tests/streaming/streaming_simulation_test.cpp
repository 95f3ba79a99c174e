// Streams a generated terrain while the camera flies over it, playing a host
// that shows each swap a frame after all its meshes arrived, and checks after
// every frame what a host relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ovra/stream_controller.h"
#include "sample_model/terrain_model.h"
#include "streaming/cut.h"
#include "streaming/model_pimpl.h"
#include "streaming/node_content_loading.h"
#include "streaming/stream_controller_pimpl.h"
#include "support/recording_data_source.h"
#include "support/recording_logger.h"
#include "support/showing_renderer.h"

namespace ovra {
namespace {

constexpr int32_t kBudget = 6000;

EnvironmentInfo Environment(Vec3 camera) { return {camera, 60.0f, 16.0f / 9.0f}; }

StreamControllerSettings Settings() {
  StreamControllerSettings settings;
  settings.triangleBudget = kBudget;
  settings.distanceExponent = 2.0f;
  settings.nearDistance = 10.0f;
  settings.nearDistanceExponent = 1.0f;
  // Bites from about 100 units away, once the scene covers less than the
  // screen: far away the cut turns coarse.
  settings.priorityCutoff = 2e4f;
  return settings;
}

class StreamingSimulationTest : public testing::Test {
 protected:
  void SetUp() override {
    tools::TerrainOptions terrain;
    terrain.depth = 4;  // 341 tiles
    terrain.finestCells = 8;
    terrain.textures = false;
    source = std::make_unique<test::RecordingDataSource>(tools::WriteTerrainModel(terrain));
    model.Init(*source, renderer, 1.0f, Vec3{}, -1, -1);
    controller.StartStreamingModel(&model);
    detail::StreamControllerAccess::Pimpl(controller).clock = [this] { return nowMs; };
  }

  detail::ModelPimpl& Pimpl() { return detail::ModelAccess::Pimpl(model); }

  // One host frame with the camera at `camera`.
  void Frame(Vec3 camera, bool answerReads = true) {
    if (answerReads) source->AnswerPending();
    model.UpdateLocalCameraPosition(camera);
    model.UpdateRunningTasks();
    nowMs += 250;
    controller.Update(Environment(camera));
    renderer.EndFrame();
    ASSERT_LE(controller.GetDebugInfo().pendingOperations, 5u);
  }

  bool Settled() const { return controller.GetDebugInfo().pendingOperations == 0 && !renderer.HasWaiting(); }

  void IndexNodes() {
    ForEachNode(*Pimpl().rootNode, [this](ModelNode& node) { nodes[node.id] = &node; });
  }

  // The visible meshes form a cut: every leaf lies under exactly one of them.
  void ExpectVisibleMeshesFormACut(const std::string& when) {
    std::map<const ModelNode*, int> shown;
    for (int meshId : renderer.Visible()) {
      const ModelNode* node = nodes.at(meshId / 4);
      ASSERT_FALSE(shown.contains(node)) << when << ": two levels of node " << node->id << " shown";
      shown[node] = meshId % 4;
      ASSERT_TRUE(node->shownLevel == meshId % 4 || node->locked)
          << when << ": node " << node->id << " shows level " << meshId % 4 << " but records " << node->shownLevel;
    }
    for (const auto& [id, node] : nodes) {
      if (node->shownLevel != -1) {
        ASSERT_TRUE(renderer.Holds(MeshId(*node, node->shownLevel)))
            << when << ": node " << id << " records level " << node->shownLevel << " the host never got";
      }
      if (!node->children.empty()) continue;
      int covering = 0;
      for (const ModelNode* n = node; n != nullptr; n = n->parent) covering += shown.contains(n) ? 1 : 0;
      ASSERT_EQ(covering, 1) << when << ": leaf " << id << " is covered " << covering << " times";
    }
  }

  void ExpectSettledState(const std::string& when) {
    for (const auto& [id, node] : nodes) {
      ASSERT_FALSE(node->locked) << when << ": node " << id << " still locked";
      ASSERT_EQ(node->lockCount, 0u) << when;
      ASSERT_EQ(renderer.Visible().contains(MeshId(*node, node->shownLevel)), node->shownLevel != -1) << when;
    }
  }

  test::ScopedRecordingLogger log;
  std::unique_ptr<test::RecordingDataSource> source;
  test::ShowingRenderer renderer;
  Model model;
  StreamController controller{Settings()};
  int64_t nowMs = 0;
  std::map<int, ModelNode*> nodes;
};

Vec3 Lerp(Vec3 a, Vec3 b, float t) { return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t}; }

TEST_F(StreamingSimulationTest, FlyThroughKeepsAValidCutAndSettlesWithinTheBudget) {
  const Vec3 start{-250, -40, 40};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!model.InitializationComplete()) {
    ASSERT_NO_FATAL_FAILURE(Frame(start));
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  IndexNodes();
  ASSERT_EQ(nodes.size(), 341u);

  // In, low over the terrain, away, and at once far off: the last leg
  // coarsens several levels in one swap.
  const Vec3 far{900, 300, 200};
  const std::vector<std::pair<Vec3, Vec3>> legs = {
      {start, {-30, -10, 12}}, {{-30, -10, 12}, {20, 10, 9}}, {{20, 10, 9}, {80, 30, 20}}, {far, far}};
  constexpr int kFramesPerLeg = 60;
  for (size_t leg = 0; leg < legs.size(); ++leg) {
    for (int i = 0; i < kFramesPerLeg; ++i) {
      const std::string when = "leg " + std::to_string(leg) + " frame " + std::to_string(i);
      const float t = static_cast<float>(i) / kFramesPerLeg;
      ASSERT_NO_FATAL_FAILURE(Frame(Lerp(legs[leg].first, legs[leg].second, t)));
      ASSERT_TRUE(renderer.Faults().empty()) << when << ": " << renderer.Faults().front();
      ASSERT_NO_FATAL_FAILURE(ExpectVisibleMeshesFormACut(when));
      if (Settled()) {
        ASSERT_NO_FATAL_FAILURE(ExpectSettledState(when));
      }
    }
  }
  // Far off the swaps run out, however slowly the workers decode: the state
  // after the multi-level coarsening must be clean.
  const auto farDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!Settled()) {
    ASSERT_LT(std::chrono::steady_clock::now(), farDeadline) << "never settled far off";
    ASSERT_NO_FATAL_FAILURE(Frame(far));
    ASSERT_NO_FATAL_FAILURE(ExpectVisibleMeshesFormACut("settling far off"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_NO_FATAL_FAILURE(ExpectSettledState("settled far off"));

  // Back and forth on a slow disk: the wanted cut changes while swaps load.
  const Vec3 near{-40, -40, 6};
  for (int i = 0; i < 80; ++i) {
    const std::string when = "jitter frame " + std::to_string(i);
    ASSERT_NO_FATAL_FAILURE(Frame((i / 2) % 2 == 0 ? near : far, i % 3 == 0));
    ASSERT_TRUE(renderer.Faults().empty()) << when << ": " << renderer.Faults().front();
    ASSERT_NO_FATAL_FAILURE(ExpectVisibleMeshesFormACut(when));
  }

  // The camera stops above the terrain: swaps continue until the shown cut is
  // the one the budget selects, then stop.
  const Vec3 rest{10, 0, 30};
  int quietUpdates = 0;
  const auto settleDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (quietUpdates < 4) {
    const int added = renderer.MeshesAdded();
    ASSERT_NO_FATAL_FAILURE(Frame(rest));
    ASSERT_NO_FATAL_FAILURE(ExpectVisibleMeshesFormACut("settling"));
    quietUpdates = Settled() && renderer.MeshesAdded() == added ? quietUpdates + 1 : 0;
    ASSERT_LT(std::chrono::steady_clock::now(), settleDeadline) << "the shown cut never settled";
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_NO_FATAL_FAILURE(ExpectSettledState("settled"));

  const float coverage = ScreenCoverage(detail::StreamControllerAccess::Pimpl(controller).Bounds(), Environment(rest));
  const Cut target = SelectTargetCut({Pimpl().rootNode.get()}, coverage, Settings());
  std::set<int> wanted;
  int64_t wantedTriangles = 0;
  for (const NodeSelection& selection : target.selections) {
    if (selection.childCount > 0 || selection.level < 0) continue;
    wanted.insert(MeshId(*selection.node, selection.level));
    wantedTriangles += selection.node->levels[static_cast<size_t>(selection.level)].triangleCount;
  }
  EXPECT_EQ(renderer.Visible(), wanted);
  EXPECT_EQ(controller.GetDebugInfo().displayedTriangles, static_cast<uint64_t>(wantedTriangles));
  EXPECT_GE(wantedTriangles, kBudget) << "the finest levels alone hold more than the budget";
  // The last refinement replaced one tile by four of at most 128 triangles.
  EXPECT_LT(wantedTriangles, kBudget + 4 * 128);
}

}  // namespace
}  // namespace ovra
