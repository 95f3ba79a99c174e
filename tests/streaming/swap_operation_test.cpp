#include "streaming/swap_operation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "streaming/node_content_loading.h"
#include "streaming/node_lock.h"
#include "streaming/operation_ids.h"
#include "support/hand_model.h"
#include "support/pump.h"
#include "support/recording_logger.h"

namespace ovra {
namespace {

using detail::ModelContext;
using test::HandModel;

constexpr HandModel::Box kBox = {0, 1, 0, 1, 0, 1};

TEST(OperationIdPoolTest, ReusesTheSmallestReleasedIdAndIgnoresDoubleReleases) {
  OperationIdPool pool;
  EXPECT_EQ(pool.Acquire(), 0);
  EXPECT_EQ(pool.Acquire(), 1);
  pool.Release(0);
  pool.Release(0);
  EXPECT_EQ(pool.Acquire(), 0);
  EXPECT_EQ(pool.Acquire(), 2) << "a second release of 0 must not have stored it twice";
  pool.Release(7);   // never handed out
  pool.Release(-1);  // the id of meshes outside any operation
  EXPECT_EQ(pool.Acquire(), 3);
}

TEST(NodeLockTest, CountsLockedNodesOnEveryAncestor) {
  HandModel hand;
  ModelNode& root = hand.AddNode(nullptr, kBox, {});
  ModelNode& a = hand.AddNode(&root, kBox, {10});
  ModelNode& b = hand.AddNode(&root, kBox, {10});
  ModelNode& a1 = hand.AddNode(&a, kBox, {10});

  Lock(a1);
  Lock(b);
  EXPECT_EQ(root.lockCount, 2u);
  EXPECT_EQ(a.lockCount, 1u);
  EXPECT_EQ(a1.lockCount, 1u);
  EXPECT_FALSE(a.locked);
  Lock(a);
  EXPECT_TRUE(HasLockedAncestor(a1));
  EXPECT_FALSE(HasLockedAncestor(a));
  EXPECT_EQ(root.lockCount, 3u);

  Unlock(a1);
  Unlock(a);
  Unlock(b);
  EXPECT_EQ(root.lockCount, 0u);
  EXPECT_EQ(a.lockCount, 0u);
}

TEST(NodeLockTest, RepeatedLockOrUnlockIsLoggedAndChangesNothing) {
  test::ScopedRecordingLogger log;
  HandModel hand;
  ModelNode& root = hand.AddNode(nullptr, kBox, {});
  ModelNode& child = hand.AddNode(&root, kBox, {10});
  Unlock(child);
  Lock(child);
  Lock(child);
  EXPECT_EQ(root.lockCount, 1u);
  Unlock(child);
  EXPECT_EQ(root.lockCount, 0u);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Error: Unlock() called on ModelNode that was already unlocked.",
                                                   "Error: Lock() called on ModelNode that was already locked."}));
}

// Builds a swap on a hand model, runs its tasks and hands back what the
// renderer received.
class SwapTaskTest : public testing::Test {
 protected:
  void Run(const SwapOperation& operation) {
    ModelContext& context = *hand.Pimpl().context;
    DownloadGroup* group = context.downloader->CreateDownloadGroup();
    auto swap = BuildSwapTask(operation, group);
    StartTaskGroup(context.runningTaskGroups, {swap, context.downloader->SubmitDownloadGroup(group)});
    ASSERT_TRUE(test::PumpUntilIdle(context.runningTaskGroups));
  }
  const std::vector<test::RecordingRenderer::AddedMesh>& Added() { return hand.renderer.Added(); }
  const std::vector<int>& Removed() { return hand.renderer.Removed(); }

  test::ScopedRecordingLogger log;
  HandModel hand;
  ModelNode& root = hand.AddNode(nullptr, kBox, {});
};

TEST_F(SwapTaskTest, SwitchLevelAddsTheNewMeshAndRemovesTheOldOnShown) {
  ModelNode& node = hand.AddNode(&root, kBox, {40, 20, 10});
  node.id = 5;
  node.shownLevel = 2;
  Run({{{&node, 2}}, {{&node, 1}}, SwapKind::SwitchLevel, 20, 0.0});

  ASSERT_EQ(Added().size(), 1u);
  EXPECT_EQ(Added()[0].meshId, 21);
  EXPECT_EQ(Added()[0].operationMeshIds, std::vector<int>{21});
  EXPECT_EQ(node.shownLevel, 1);
  EXPECT_TRUE(node.locked) << "the lock holds until the host has shown the new mesh";
  EXPECT_TRUE(Removed().empty());

  Added()[0].onShown();
  EXPECT_EQ(Removed(), std::vector<int>{22});
  EXPECT_EQ(node.shownLevel, 1);
  EXPECT_FALSE(node.locked);
  EXPECT_EQ(root.lockCount, 0u);
}

TEST_F(SwapTaskTest, RefineShowsEveryChildUnderOneOperationAndHidesTheParent) {
  ModelNode& parent = hand.AddNode(&root, kBox, {40});
  ModelNode& first = hand.AddNode(&parent, kBox, {30, 15});
  ModelNode& second = hand.AddNode(&parent, kBox, {30});
  parent.shownLevel = 0;
  Run({{{&parent, 0}}, {{&first, 1}, {&second, 0}}, SwapKind::Refine, 45, 0.0});

  const std::vector<int> ids = {MeshId(first, 1), MeshId(second, 0)};
  ASSERT_EQ(Added().size(), 2u);
  EXPECT_EQ(Added()[0].operationId, Added()[1].operationId);
  EXPECT_GE(Added()[0].operationId, 0);
  for (const auto& added : Added()) EXPECT_EQ(added.operationMeshIds, ids);
  Added()[1].onShown();
  EXPECT_EQ(Removed(), std::vector<int>{MeshId(parent, 0)});
  EXPECT_EQ(parent.shownLevel, -1);
  EXPECT_EQ(first.shownLevel, 1);
  EXPECT_EQ(second.shownLevel, 0);
}

TEST_F(SwapTaskTest, FromPairWithoutLevelIsUnlockedButNothingIsRemoved) {
  ModelNode& parent = hand.AddNode(&root, kBox, {40});
  ModelNode& child = hand.AddNode(&parent, kBox, {30});
  Run({{{&child, -1}}, {{&parent, 0}}, SwapKind::Coarsen, 40, 0.0});
  ASSERT_EQ(Added().size(), 1u);
  Added()[0].onShown();
  EXPECT_TRUE(Removed().empty());
  EXPECT_FALSE(child.locked);
  EXPECT_EQ(parent.shownLevel, 0);
}

TEST_F(SwapTaskTest, CoarsenAlsoHidesTheShownDescendantsOfTheListedChildren) {
  ModelNode& parent = hand.AddNode(&root, kBox, {40});
  ModelNode& refined = hand.AddNode(&parent, kBox, {30});
  ModelNode& shown = hand.AddNode(&parent, kBox, {30});
  ModelNode& grandchild = hand.AddNode(&refined, kBox, {20, 10});
  ModelNode& deeper = hand.AddNode(&grandchild, kBox, {5});
  shown.shownLevel = 0;
  grandchild.shownLevel = -1;
  deeper.shownLevel = 0;
  ModelNode& other = hand.AddNode(&refined, kBox, {20, 10});
  other.shownLevel = 1;

  Run({{{&refined, -1}, {&shown, 0}}, {{&parent, 0}}, SwapKind::Coarsen, 40, 0.0});
  Added()[0].onShown();
  std::vector<int> removed = Removed();
  std::sort(removed.begin(), removed.end());
  std::vector<int> expected = {MeshId(shown, 0), MeshId(deeper, 0), MeshId(other, 1)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
  for (const ModelNode* node : {&refined, &shown, &grandchild, &deeper, &other}) EXPECT_EQ(node->shownLevel, -1);
  EXPECT_EQ(parent.shownLevel, 0);
  EXPECT_EQ(root.lockCount, 0u);
}

TEST_F(SwapTaskTest, ToPairsWithoutALevelAreNeitherLoadedNorCounted) {
  ModelNode& parent = hand.AddNode(&root, kBox, {40});
  ModelNode& empty = hand.AddNode(&parent, kBox, {});
  ModelNode& child = hand.AddNode(&parent, kBox, {30});
  parent.shownLevel = 0;
  Run({{{&parent, 0}}, {{&empty, -1}, {&child, 0}}, SwapKind::Refine, 30, 0.0});
  ASSERT_EQ(Added().size(), 1u);
  EXPECT_EQ(Added()[0].meshId, MeshId(child, 0));
  EXPECT_EQ(Added()[0].operationMeshIds, std::vector<int>{MeshId(child, 0)});
  EXPECT_EQ(empty.shownLevel, -1);
}

TEST_F(SwapTaskTest, OnShownTwiceIsIgnoredWithAWarning) {
  ModelNode& node = hand.AddNode(&root, kBox, {40, 20});
  node.shownLevel = 1;
  Run({{{&node, 1}}, {{&node, 0}}, SwapKind::SwitchLevel, 40, 0.0});
  std::function<void()> copy = Added()[0].onShown;
  Added()[0].onShown();
  copy();
  EXPECT_EQ(Removed().size(), 1u);
  EXPECT_EQ(log.Lines().back(), "Warning: onShown was called again for the same swap operation; the call is ignored.");
}

TEST_F(SwapTaskTest, OperationIdIsReleasedByOnShown) {
  ModelNode& node = hand.AddNode(&root, kBox, {40, 20});
  node.shownLevel = 1;
  Run({{{&node, 1}}, {{&node, 0}}, SwapKind::SwitchLevel, 40, 0.0});
  const int first = Added()[0].operationId;
  Added()[0].onShown();
  Run({{{&node, 0}}, {{&node, 1}}, SwapKind::SwitchLevel, 20, 0.0});
  EXPECT_EQ(Added()[1].operationId, first);
}

TEST(SwapOnShownTest, OnlyReleasesTheOperationIdOnceTheModelIsGone) {
  std::function<void()> onShown;
  int operationId = -1;
  {
    HandModel hand;
    ModelNode& root = hand.AddNode(nullptr, kBox, {});
    ModelNode& node = hand.AddNode(&root, kBox, {40, 20});
    node.shownLevel = 1;
    ModelContext& context = *hand.Pimpl().context;
    DownloadGroup* group = context.downloader->CreateDownloadGroup();
    StartTaskGroup(context.runningTaskGroups,
                   {BuildSwapTask({{{&node, 1}}, {{&node, 0}}, SwapKind::SwitchLevel, 40, 0.0}, group),
                    context.downloader->SubmitDownloadGroup(group)});
    ASSERT_TRUE(test::PumpUntilIdle(context.runningTaskGroups));
    onShown = hand.renderer.Added().at(0).onShown;
    operationId = hand.renderer.Added().at(0).operationId;
  }
  onShown();  // the tree and the renderer are gone: touching them is caught by ASan
  EXPECT_EQ(OperationIds().Acquire(), operationId);
  OperationIds().Release(operationId);
}

}  // namespace
}  // namespace ovra
