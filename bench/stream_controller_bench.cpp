// Cost of a full frame update of the stream controller on the host thread,
// against the size of the node tree.
#include <benchmark/benchmark.h>

#include <deque>
#include <limits>

#include "ovra/stream_controller.h"
#include "streaming/cut.h"
#include "streaming/stream_controller_pimpl.h"
#include "support/hand_model.h"

namespace ovra {
namespace {

using test::HandModel;

constexpr float kGround = 1000.0f;

StreamControllerSettings BenchSettings(int nodeCount) {
  StreamControllerSettings settings;
  settings.triangleBudget = 40 * nodeCount;
  settings.distanceExponent = 1.0f;
  return settings;
}

// `count` nodes of a quadtree over the ground, filled breadth first; each has
// three levels of 400, 100 and 25 triangles.
void BuildQuadtree(HandModel& hand, int count) {
  std::deque<ModelNode*> open{&hand.AddNode(nullptr, {0, kGround, 0, kGround, 0, 10}, {})};
  int made = 1;
  while (made < count) {
    ModelNode& parent = *open.front();
    open.pop_front();
    const float midX = (parent.minX + parent.maxX) / 2;
    const float midY = (parent.minY + parent.maxY) / 2;
    const HandModel::Box quarters[4] = {{parent.minX, midX, parent.minY, midY, 0, 10},
                                        {midX, parent.maxX, parent.minY, midY, 0, 10},
                                        {parent.minX, midX, midY, parent.maxY, 0, 10},
                                        {midX, parent.maxX, midY, parent.maxY, 0, 10}};
    for (int q = 0; q < 4 && made < count; ++q, ++made) {
      const HandModel::Box& box = quarters[q];
      open.push_back(&hand.AddNode(&parent, box, {400, 100, 25}, (box.maxX - box.minX) * (box.maxY - box.minY)));
    }
  }
  hand.CompleteInitialization();
}

// Shows the cut the controller wants, so that an update does the whole
// selection and then finds nothing to swap: the state of most frames.
void ShowWantedCut(HandModel& hand, const StreamControllerSettings& settings) {
  const Cut wanted = SelectTargetCut({&hand.Root()}, std::numeric_limits<float>::infinity(), settings);
  for (const NodeSelection& selection : wanted.selections) {
    if (selection.childCount == 0) selection.node->shownLevel = selection.level;
  }
}

void BM_StreamControllerUpdate(benchmark::State& state) {
  const auto nodeCount = static_cast<int>(state.range(0));
  HandModel hand;
  BuildQuadtree(hand, nodeCount);
  const Vec3 camera{kGround * 0.3f, kGround * 0.4f, 20.0f};
  hand.SetCamera(camera);
  const StreamControllerSettings settings = BenchSettings(nodeCount);
  ShowWantedCut(hand, settings);

  StreamController controller(settings);
  int64_t nowMs = 0;
  detail::StreamControllerAccess::Pimpl(controller).clock = [&nowMs] { return nowMs += 250; };
  controller.StartStreamingModel(&hand.model);
  const EnvironmentInfo environment{camera, 60.0f, 1.5f};
  controller.Update(environment);
  if (controller.GetDebugInfo().pendingOperations != 0 || !hand.renderer.Added().empty()) {
    state.SkipWithError("the shown cut is not the wanted one");
    return;
  }
  for (auto _ : state) controller.Update(environment);
  state.counters["nodes"] = nodeCount;
  state.counters["shown_triangles"] = static_cast<double>(controller.GetDebugInfo().displayedTriangles);
  state.counters["per_node"] =
      benchmark::Counter(nodeCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StreamControllerUpdate)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ovra
