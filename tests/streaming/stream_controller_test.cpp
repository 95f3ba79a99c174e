#include "ovra/stream_controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "streaming/node_content_loading.h"
#include "streaming/stream_controller_pimpl.h"
#include "support/hand_model.h"
#include "support/model_pump.h"
#include "support/recording_logger.h"
#include "tasks/download_cache.h"

namespace ovra {
namespace {

using test::HandModel;

StreamControllerSettings GenerousSettings() {
  StreamControllerSettings settings;
  settings.triangleBudget = 1000000;
  settings.distanceExponent = 1.0f;
  return settings;
}

EnvironmentInfo Camera(Vec3 position) { return {position, 60.0f, 1.0f}; }

// A controller whose throttle clock the test sets.
class ControllerTest : public testing::Test {
 protected:
  explicit ControllerTest(StreamControllerSettings settings = GenerousSettings()) : controller(settings) {
    Pimpl().clock = [this] { return nowMs; };
  }

  detail::StreamControllerPimpl& Pimpl() { return detail::StreamControllerAccess::Pimpl(controller); }

  // One update that is not throttled.
  void Update(Vec3 camera = {}) {
    nowMs += 250;
    controller.Update(Camera(camera));
  }

  // A completed hand model: a root with `children` nodes in a row, each shown
  // at its coarser level of two.
  void BuildRow(HandModel& hand, int children) {
    ModelNode& root = hand.AddNode(nullptr, {0, 10.0f * static_cast<float>(children), 0, 1, 0, 1}, {});
    for (int i = 0; i < children; ++i) {
      const auto x = static_cast<float>(10 * i);
      hand.AddNode(&root, {x, x + 1, 0, 1, 0, 1}, {200, 100}).shownLevel = 1;
    }
    hand.CompleteInitialization();
  }

  test::ScopedRecordingLogger log;
  int64_t nowMs = 0;
  StreamController controller;
};

TEST_F(ControllerTest, UpdatesRunAtMostEvery250Milliseconds) {
  struct Step {
    int64_t atMs;
    bool runs;
  };
  // The first call runs even at clock reading 0.
  for (const Step& step :
       {Step{0, true}, Step{100, false}, Step{249, false}, Step{250, true}, Step{400, false}, Step{500, true}}) {
    nowMs = step.atMs;
    DownloadCache::Instance().CountHit();
    controller.Update(Camera({}));
    const bool ran = controller.GetDebugInfo().cacheHits == DownloadCache::Instance().CacheHits();
    EXPECT_EQ(ran, step.runs) << "at " << step.atMs << " ms";
  }
}

TEST_F(ControllerTest, WithoutAnInitializedModelAnUpdateOnlyPumpsAndCopiesCounters) {
  HandModel ready;
  BuildRow(ready, 2);
  controller.StartStreamingModel(&ready.model);
  Update();
  const uint64_t displayed = controller.GetDebugInfo().displayedTriangles;
  EXPECT_EQ(displayed, 200u);
  controller.StopStreamingModel(&ready.model);

  HandModel loading;
  bool pumped = false;
  auto task = MakeTask<int>([&pumped](const ConstTaskList&) { return pumped = true; }, ExecutionMode::Inline);
  StartTaskGroup(loading.Pimpl().context->runningTaskGroups, {task});
  controller.StartStreamingModel(&loading.model);
  controller.StartStreamingModel(nullptr);
  Update();
  EXPECT_TRUE(pumped);
  EXPECT_EQ(controller.GetDebugInfo().displayedTriangles, displayed);
  EXPECT_TRUE(loading.renderer.Added().empty());
}

TEST_F(ControllerTest, StartsOneSwapPerUpdateAndItsMeshesArriveThroughThePump) {
  HandModel hand;
  BuildRow(hand, 3);
  controller.StartStreamingModel(&hand.model);
  controller.StartStreamingModel(&hand.model);  // a second registration changes nothing
  Update({-5, 0, 0});
  EXPECT_EQ(controller.GetDebugInfo().pendingOperations, 1u);
  hand.model.UpdateRunningTasks();
  ASSERT_EQ(hand.renderer.Added().size(), 1u);
  EXPECT_EQ(hand.renderer.Added()[0].meshId, MeshId(*hand.Root().children[0], 0)) << "the nearest node first";
  EXPECT_EQ(controller.GetDebugInfo().pendingOperations, 0u);
  hand.renderer.Added()[0].onShown();
  EXPECT_EQ(hand.renderer.Removed(), std::vector<int>{MeshId(*hand.Root().children[0], 1)});

  Update({-5, 0, 0});
  EXPECT_EQ(hand.renderer.Added().size(), 1u);
  Update({-5, 0, 0});
  EXPECT_EQ(hand.renderer.Added().size(), 2u) << "each update pumps the swap started by the one before";
}

TEST_F(ControllerTest, SixthSwapWaitsWhileFiveArePending) {
  HandModel hand(/*fetchContent=*/true);
  BuildRow(hand, 8);
  controller.StartStreamingModel(&hand.model);
  for (uint64_t expected : {1, 2, 3, 4, 5, 5, 5}) {
    Update();
    EXPECT_EQ(controller.GetDebugInfo().pendingOperations, expected);
  }
  EXPECT_EQ(hand.source.PendingCount(), 5u) << "no requests for a sixth swap";

  ASSERT_TRUE(
      test::RunFramesUntil(hand.model, hand.source, [&] { return controller.GetDebugInfo().pendingOperations == 0; }));
  Update();
  EXPECT_EQ(controller.GetDebugInfo().pendingOperations, 1u);
}

TEST_F(ControllerTest, PendingSwapsSurviveTheirControllerAndTheirModel) {
  HandModel hand(/*fetchContent=*/true);
  BuildRow(hand, 2);
  {
    StreamController shortLived(GenerousSettings());
    shortLived.StartStreamingModel(&hand.model);
    shortLived.Update(Camera({}));
    EXPECT_EQ(shortLived.GetDebugInfo().pendingOperations, 1u);
  }
  EXPECT_TRUE(test::RunFramesUntil(hand.model, hand.source, [&] { return !hand.renderer.Added().empty(); }))
      << "the swap completes without its controller";
}

TEST_F(ControllerTest, DestroyedModelIsForgottenAndNoLongerCountsAsPending) {
  auto hand = std::make_unique<HandModel>(/*fetchContent=*/true);
  BuildRow(*hand, 2);
  controller.StartStreamingModel(&hand->model);
  Update();
  EXPECT_EQ(controller.GetDebugInfo().pendingOperations, 1u);
  hand.reset();
  EXPECT_EQ(controller.GetDebugInfo().pendingOperations, 0u);
  Update();  // must not touch the destroyed model
  EXPECT_EQ(controller.GetDebugInfo().pendingOperations, 0u);
}

TEST_F(ControllerTest, MergedBoxHoldsTheOriginAndEveryModelOnce) {
  HandModel far;
  far.AddNode(nullptr, {100, 110, 100, 110, 100, 110}, {});
  far.CompleteInitialization();
  far.Pimpl().modelOffset = {5, 0, 0};
  HandModel below;
  below.AddNode(nullptr, {-20, -10, -30, -25, -2, -1}, {});
  below.CompleteInitialization();
  controller.StartStreamingModel(&far.model);
  controller.StartStreamingModel(&below.model);
  Update();
  Update();
  const WorldBounds& bounds = Pimpl().Bounds();
  EXPECT_EQ((std::vector<float>{bounds.minX, bounds.maxX, bounds.minY, bounds.maxY, bounds.minZ, bounds.maxZ}),
            (std::vector<float>{-20, 115, -30, 110, -2, 110}));
  controller.StopStreamingModel(&below.model);
  Update();
  EXPECT_EQ((std::vector<float>{bounds.minX, bounds.maxX, bounds.minY, bounds.maxY, bounds.minZ, bounds.maxZ}),
            (std::vector<float>{0, 115, 0, 110, 0, 110}));
}

TEST(StreamControllerGlobalStateTest, CleanupEmptiesTheDownloadCacheAndItsCounters) {
  DownloadCache& cache = DownloadCache::Instance();
  cache.Insert("cleanup-test", std::vector<uint8_t>(10, 1));
  cache.CountHit();
  cache.CountMiss();
  StreamController::CleanupGlobalState();
  EXPECT_EQ(cache.Lookup("cleanup-test"), nullptr);
  EXPECT_EQ(cache.TotalBytes(), 0u);
  EXPECT_EQ(cache.CacheHits(), 0u);
  EXPECT_EQ(cache.CacheMisses(), 0u);
}

TEST(ScreenCoverageTest, FollowsTheBoundingSphereAndIsInfiniteFromInside) {
  const WorldBounds unitCube{-1, 1, -1, 1, -1, 1};
  const float radius = std::sqrt(3.0f);
  const double expectedRadius = 1.0 / std::tan(std::numbers::pi / 6) * radius / std::sqrt(100.0 - 3.0) * 0.5;
  EXPECT_NEAR(ScreenCoverage(unitCube, Camera({0, 0, 10})), expectedRadius * expectedRadius * std::numbers::pi, 1e-6);
  EXPECT_NEAR(ScreenCoverage(unitCube, {{0, 0, 10}, 60.0f, 2.0f}),
              expectedRadius * expectedRadius * std::numbers::pi / 2, 1e-6);
  EXPECT_EQ(ScreenCoverage(unitCube, Camera({0, 0, 1.5f})), std::numeric_limits<float>::infinity());
}

}  // namespace
}  // namespace ovra
