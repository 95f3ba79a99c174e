#include "streaming/cut.h"

#include <gtest/gtest.h>

#include <limits>

#include "streaming/cut_diff.h"
#include "streaming/node_lock.h"
#include "support/hand_model.h"

namespace ovra {

void PrintTo(const NodeLevel& pair, std::ostream* os) {
  *os << "node " << (pair.node != nullptr ? pair.node->id : 0) << " level " << pair.level;
}

namespace {

using test::HandModel;

// Boxes along the x axis: the i-th is [10i, 10i + 1] x [0, 1] x [0, 1].
HandModel::Box BoxAt(int i) {
  const auto x = static_cast<float>(10 * i);
  return {x, x + 1, 0, 1, 0, 1};
}

StreamControllerSettings Budget(int32_t triangles) {
  StreamControllerSettings settings;
  settings.triangleBudget = triangles;
  settings.distanceExponent = 1.0f;
  return settings;
}

// The childless selections of every root, depth first.
std::vector<NodeLevel> Leaves(const Cut& cut) {
  std::vector<NodeLevel> leaves;
  auto visit = [&](auto&& self, int32_t index) -> void {
    const NodeSelection& selection = cut[index];
    if (selection.childCount == 0) leaves.push_back({selection.node, selection.level});
    for (int32_t i = 0; i < selection.childCount; ++i) self(self, selection.firstChild + i);
  };
  for (int32_t root : cut.roots) visit(visit, root);
  return leaves;
}

class CutTest : public testing::Test {
 protected:
  Cut Target(int32_t budget, float coverage = 1.0f, StreamControllerSettings settings = Budget(0)) {
    settings.triangleBudget = budget;
    return SelectTargetCut({&root}, coverage, settings);
  }

  HandModel hand;
  ModelNode& root = hand.AddNode(nullptr, {0, 100, 0, 1, 0, 1}, {1});
};

TEST_F(CutTest, BudgetMetByTheFirstFrontierSelectsEachRootChildsCoarsestLevel) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {100, 50, 0});
  ModelNode& b = hand.AddNode(&root, BoxAt(1), {80, 40});
  EXPECT_EQ(Leaves(Target(10)), (std::vector<NodeLevel>{{&a, 1}, {&b, 1}}));
}

TEST_F(CutTest, RefinesTheNearestNodeFirstUntilTheBudgetIsReached) {
  ModelNode& near = hand.AddNode(&root, BoxAt(0), {100, 50});
  ModelNode& far = hand.AddNode(&root, BoxAt(5), {100, 50});
  hand.SetCamera({-5, 0, 0});
  EXPECT_EQ(Leaves(Target(120)), (std::vector<NodeLevel>{{&near, 0}, {&far, 1}}));
  hand.SetCamera({60, 0, 0});
  EXPECT_EQ(Leaves(Target(120)), (std::vector<NodeLevel>{{&near, 1}, {&far, 0}}));
}

TEST_F(CutTest, GenerousBudgetReachesTheFinestLevelOfEveryLeaf) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {100, 25});
  ModelNode& a1 = hand.AddNode(&a, BoxAt(0), {400, 100});
  ModelNode& a2 = hand.AddNode(&a, BoxAt(1), {400, 100});
  ModelNode& b = hand.AddNode(&root, BoxAt(2), {100});
  const Cut cut = Target(std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Leaves(cut), (std::vector<NodeLevel>{{&a1, 0}, {&a2, 0}, {&b, 0}}));
}

TEST_F(CutTest, NodesWithoutTrianglesArePassedThroughToTheirChildren) {
  ModelNode& hollow = hand.AddNode(&root, BoxAt(0), {0, 0});
  ModelNode& c1 = hand.AddNode(&hollow, BoxAt(0), {10, 5});
  ModelNode& c2 = hand.AddNode(&hollow, BoxAt(1), {10, 5});
  EXPECT_EQ(Leaves(Target(1)), (std::vector<NodeLevel>{{&c1, 1}, {&c2, 1}}));
}

TEST_F(CutTest, PriorityCutoffAppliesOnlyWhileTheSceneCoversLessThanTheScreen) {
  ModelNode& a = hand.AddNode(&root, BoxAt(1), {100, 50});
  StreamControllerSettings settings = Budget(0);
  settings.priorityCutoff = 1.0f;  // every priority here is larger
  EXPECT_EQ(Leaves(Target(1000, 0.5f, settings)), (std::vector<NodeLevel>{{&a, 1}}));
  EXPECT_EQ(Leaves(Target(1000, std::numeric_limits<float>::infinity(), settings)), (std::vector<NodeLevel>{{&a, 0}}));
}

TEST_F(CutTest, NearExponentTakesOverOnceANodeIsCloserThanTheNearDistance) {
  ModelNode& dense = hand.AddNode(&root, BoxAt(0), {400, 200, 100}, 1.0f);
  ModelNode& sparse = hand.AddNode(&root, BoxAt(3), {400, 200, 100}, 10.0f);
  hand.SetCamera({-0.5f, 0, 0});
  StreamControllerSettings settings = Budget(0);
  // Exponent 1 throughout: the near node is refined twice.
  EXPECT_EQ(Leaves(Target(450, 1.0f, settings)), (std::vector<NodeLevel>{{&dense, 0}, {&sparse, 2}}));
  // The first pop still follows exponent 1; from then on distance 0.5 to the
  // power -3 makes the near node the last choice.
  settings.nearDistance = 1.0f;
  settings.nearDistanceExponent = -3.0f;
  EXPECT_EQ(Leaves(Target(450, 1.0f, settings)), (std::vector<NodeLevel>{{&dense, 1}, {&sparse, 0}}));
}

TEST_F(CutTest, NotANumberPrioritiesAreRefinedLast) {
  // A zero surface area with the camera inside the box gives 0 * infinity.
  ModelNode& odd = hand.AddNode(&root, BoxAt(0), {100, 50}, 0.0f);
  std::vector<ModelNode*> regular;
  for (int i = 1; i <= 4; ++i) regular.push_back(&hand.AddNode(&root, BoxAt(i), {100, 50}));
  hand.SetCamera({0.5f, 0.5f, 0.5f});
  const std::vector<NodeLevel> leaves = Leaves(Target(5 * 50 + 4 * 50));
  EXPECT_EQ(leaves.front(), (NodeLevel{&odd, 1}));
  for (size_t i = 1; i < leaves.size(); ++i) EXPECT_EQ(leaves[i], (NodeLevel{regular[i - 1], 0}));
}

TEST_F(CutTest, CurrentCutFollowsTheShownLevels) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {100, 50});
  ModelNode& a1 = hand.AddNode(&a, BoxAt(0), {30});
  ModelNode& a2 = hand.AddNode(&a, BoxAt(1), {30});
  ModelNode& b = hand.AddNode(&root, BoxAt(2), {100, 50});
  a1.shownLevel = 0;
  b.shownLevel = 1;
  Cut cut;
  EXPECT_EQ(CaptureCurrentCut(root, cut), 80);
  EXPECT_EQ(Leaves(cut), (std::vector<NodeLevel>{{&a1, 0}, {&a2, -1}, {&b, 1}}));
  root.shownLevel = 0;
  EXPECT_EQ(CaptureCurrentCut(root, cut), 1);
  EXPECT_EQ(Leaves(cut), (std::vector<NodeLevel>{{&root, 0}}));
}

// Diffs the shown levels against a cut grown to `budget`.
class DiffTest : public CutTest {
 protected:
  std::vector<SwapOperation> Diff(int32_t budget) {
    const Cut target = Target(budget);
    Cut current;
    CaptureCurrentCut(root, current);
    std::vector<SwapOperation> operations;
    DiffCuts(current, current.roots.front(), target, target.roots.front(), operations);
    return operations;
  }
};

TEST_F(DiffTest, EmitsSwitchRefineAndCoarsenInDepthFirstOrder) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {100, 50});
  ModelNode& a1 = hand.AddNode(&a, BoxAt(0), {300});
  ModelNode& a2 = hand.AddNode(&a, BoxAt(1), {300});
  ModelNode& b = hand.AddNode(&root, BoxAt(3), {100, 50});
  ModelNode& b1 = hand.AddNode(&b, BoxAt(3), {300});
  ModelNode& c = hand.AddNode(&root, BoxAt(5), {100, 50});
  a.shownLevel = 1;   // the generous budget refines it into a1, a2
  b1.shownLevel = 0;  // b's children are shown but the target wants b itself
  c.shownLevel = 0;   // the target wants level 1
  hand.SetCamera({0, 0, 0});

  // a refined, b coarse, c at level 1.
  Cut wanted;
  const int32_t r = wanted.Add(root, -1, -1);
  wanted.roots.push_back(r);
  const int32_t first = wanted.AddChildren(r, [](const ModelNode& n) { return n.levels.size() > 1 ? 1 : 0; });
  wanted.AddChildren(first, [](const ModelNode&) { return 0; });
  Cut current;
  CaptureCurrentCut(root, current);
  std::vector<SwapOperation> operations;
  DiffCuts(current, current.roots.front(), wanted, r, operations);

  ASSERT_EQ(operations.size(), 3u);
  EXPECT_EQ(operations[0].kind, SwapKind::Refine);
  EXPECT_EQ(operations[0].from, (std::vector<NodeLevel>{{&a, 1}}));
  EXPECT_EQ(operations[0].to, (std::vector<NodeLevel>{{&a1, 0}, {&a2, 0}}));
  EXPECT_EQ(operations[0].triangles, 600);
  // Box distances 0 and 10 over three pairs.
  EXPECT_DOUBLE_EQ(operations[0].meanDistance, 10.0 / 3.0);
  EXPECT_EQ(operations[1].kind, SwapKind::Coarsen);
  EXPECT_EQ(operations[1].from, (std::vector<NodeLevel>{{&b1, 0}}));
  EXPECT_EQ(operations[1].to, (std::vector<NodeLevel>{{&b, 1}}));
  EXPECT_EQ(operations[2].kind, SwapKind::SwitchLevel);
  EXPECT_EQ(operations[2].from, (std::vector<NodeLevel>{{&c, 0}}));
  EXPECT_EQ(operations[2].to, (std::vector<NodeLevel>{{&c, 1}}));
}

TEST_F(DiffTest, SwapsToLevelsWithoutTrianglesAreNotEmitted) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {100, 50});
  a.shownLevel = 1;
  Cut wanted;
  const int32_t r = wanted.Add(root, -1, -1);
  wanted.roots.push_back(r);
  wanted.AddChildren(r, [](const ModelNode&) { return 2; });  // a level a does not have
  Cut current;
  CaptureCurrentCut(root, current);
  std::vector<SwapOperation> operations;
  DiffCuts(current, current.roots.front(), wanted, r, operations);
  EXPECT_TRUE(operations.empty());
}

TEST_F(DiffTest, ShownCutEqualToTheTargetNeedsNoSwap) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {100, 50});
  ModelNode& b = hand.AddNode(&root, BoxAt(1), {100, 50});
  a.shownLevel = 1;
  b.shownLevel = 1;
  EXPECT_TRUE(Diff(10).empty());
  EXPECT_EQ(Diff(1000).size(), 2u);
}

SwapOperation Operation(ModelNode& from, int64_t triangles, double meanDistance) {
  return {{{&from, 0}}, {{&from, 1}}, SwapKind::SwitchLevel, triangles, meanDistance};
}

TEST_F(CutTest, ChoiceTakesTheNearestOrUnderPressureTheSmallestAndTiesGoToTheFirst) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {1});
  ModelNode& b = hand.AddNode(&root, BoxAt(1), {1});
  ModelNode& c = hand.AddNode(&root, BoxAt(2), {1});
  const std::vector<SwapOperation> operations = {Operation(a, 300, 1.0), Operation(b, 100, 2.0),
                                                 Operation(c, 100, 2.0)};
  struct Case {
    uint64_t displayed;
    int32_t budget;
    const ModelNode* expected;
  };
  // A budget of -1 reads as the largest unsigned count: never over it.
  for (const Case& test : {Case{100, 100, &a}, Case{101, 100, &b}, Case{5, -1, &a}}) {
    const SwapOperation* chosen = ChooseOperation(operations, test.displayed, test.budget);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->from.front().node, test.expected) << test.displayed << " shown, budget " << test.budget;
  }
  const std::vector<SwapOperation> tied = {Operation(b, 100, 2.0), Operation(c, 100, 2.0)};
  EXPECT_EQ(ChooseOperation(tied, 0, 100)->from.front().node, &b);
  EXPECT_EQ(ChooseOperation(tied, 101, 100)->from.front().node, &b);
  // Over budget, only operations below 2^31 - 1 triangles are candidates.
  const std::vector<SwapOperation> huge = {Operation(a, INT32_MAX, 1.0), Operation(b, int64_t{1} << 40, 2.0)};
  EXPECT_EQ(ChooseOperation(huge, 101, 100), nullptr);
  EXPECT_EQ(ChooseOperation(huge, 0, 100)->from.front().node, &a);
}

TEST_F(CutTest, ChoicePassesOverSwapsInsideOrBelowAPendingSwap) {
  ModelNode& a = hand.AddNode(&root, BoxAt(0), {1});
  ModelNode& a1 = hand.AddNode(&a, BoxAt(0), {1});
  ModelNode& a11 = hand.AddNode(&a1, BoxAt(0), {1});
  ModelNode& b = hand.AddNode(&root, BoxAt(1), {1});
  const std::vector<SwapOperation> operations = {Operation(a, 100, 1.0), Operation(a11, 100, 2.0),
                                                 Operation(b, 100, 3.0)};
  EXPECT_EQ(ChooseOperation(operations, 0, 1000)->from.front().node, &a);
  Lock(a1);  // a has a locked descendant, a11 a locked ancestor
  EXPECT_EQ(ChooseOperation(operations, 0, 1000)->from.front().node, &b);
  Lock(b);
  EXPECT_EQ(ChooseOperation(operations, 0, 1000), nullptr);
}

}  // namespace
}  // namespace ovra
