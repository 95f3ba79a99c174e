#include "streaming/cut.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "streaming/node_metrics.h"

namespace ovra {

namespace {

struct Candidate {
  int32_t selection;
  double priority;
};

// NaN priorities (a density scale of 0, say) sort as +infinity, so the heap
// keeps a strict weak order.
double OrderKey(double priority) { return std::isnan(priority) ? std::numeric_limits<double>::infinity() : priority; }

// A function object rather than a function, so that the heap algorithms
// inline the comparison instead of calling through a pointer.
struct ComesAfter {
  bool operator()(const Candidate& a, const Candidate& b) const { return OrderKey(a.priority) > OrderKey(b.priority); }
};

class TargetCutBuilder {
 public:
  explicit TargetCutBuilder(const StreamControllerSettings& settings) : settings_(settings) {}

  Cut Build(const std::vector<ModelNode*>& roots, float coverage) {
    for (ModelNode* root : roots) {
      const int32_t selection = cut_.Add(*root, -1, -1);
      cut_.roots.push_back(selection);
      ExpandInitially(selection);
    }
    const float exponent =
        nearestDistance_ < settings_.nearDistance ? settings_.nearDistanceExponent : settings_.distanceExponent;
    const double cutoff = coverage < 1.0f ? settings_.priorityCutoff : 0.0;
    while (!heap_.empty() && total_ < settings_.triangleBudget) {
      std::pop_heap(heap_.begin(), heap_.end(), ComesAfter{});
      const Candidate top = heap_.back();
      heap_.pop_back();
      if (cutoff > 0 && top.priority >= cutoff) continue;
      Refine(top, exponent);
    }
    return std::move(cut_);
  }

 private:
  // A level chosen for a node, with what the search needs of it.
  struct Choice {
    int level;
    double priority;
    int32_t triangles;
  };

  double WeightOf(const ModelNode& node, float exponent) const {
    return DistanceWeight(node, exponent, settings_.useCenterDistance);
  }

  double PriorityOf(const ModelNode& node, int32_t triangles, float exponent) const {
    return Priority(node, triangles, WeightOf(node, exponent));
  }

  void Push(int32_t selection, double priority) {
    heap_.push_back({selection, priority});
    std::push_heap(heap_.begin(), heap_.end(), ComesAfter{});
  }

  // Children without triangles are passed through to their own children;
  // the others start at their coarsest level.
  void ExpandInitially(int32_t selection) {
    std::vector<int> coarsest;
    for (const auto& child : cut_[selection].node->children) coarsest.push_back(LevelTriangles(*child).Coarsest());
    size_t next = 0;
    const int32_t first = cut_.AddChildren(selection, [&](const ModelNode& child) {
      const int level = coarsest[next++];
      return level == -1 ? child.shownLevel : level;
    });
    for (size_t i = 0; i < coarsest.size(); ++i) {
      const auto index = first + static_cast<int32_t>(i);
      const ModelNode& child = *cut_[index].node;
      if (coarsest[i] == -1) {
        ExpandInitially(index);
        continue;
      }
      const int32_t triangles = LevelTriangles(child).At(coarsest[i]);
      Push(index, PriorityOf(child, triangles, settings_.distanceExponent));
      total_ += triangles;
      nearestDistance_ =
          std::min(nearestDistance_, static_cast<double>(NodeDistance(child, settings_.useCenterDistance)));
    }
  }

  // The coarsest level of `child` whose priority exceeds its parent's; level
  // -1 for a child without triangles. The distance weight, a power, is
  // computed once for all the levels tried.
  Choice ChooseChildLevel(const ModelNode& child, double parentPriority, float exponent) const {
    const LevelTriangles levels(child);
    const double weight = WeightOf(child, exponent);
    int level = levels.Coarsest();
    if (level == -1) return {-1, Priority(child, 0, weight), 0};
    double priority = Priority(child, levels.At(level), weight);
    while (!(parentPriority < priority) && level >= 1) {
      const int finer = levels.NextFiner(level);
      if (finer == -1) break;
      level = finer;
      priority = Priority(child, levels.At(level), weight);
    }
    return {level, priority, levels.At(level)};
  }

  void Refine(const Candidate& top, float exponent) {
    const int32_t selection = top.selection;
    ModelNode& node = *cut_[selection].node;
    const int current = cut_[selection].level;
    const LevelTriangles levels(node);
    const int finer = current >= 0 ? levels.NextFiner(current) : -1;
    if (finer != -1) {
      total_ += levels.At(finer) - levels.At(current);
      cut_[selection].level = finer;
      Push(selection, PriorityOf(node, levels.At(finer), exponent));
      return;
    }
    if (node.children.empty()) return;
    std::vector<Choice> choices;
    choices.reserve(node.children.size());
    for (const auto& child : node.children) choices.push_back(ChooseChildLevel(*child, top.priority, exponent));
    size_t next = 0;
    const int32_t first = cut_.AddChildren(selection, [&](const ModelNode& child) {
      const int level = choices[next++].level;
      return level == -1 ? child.shownLevel : level;
    });
    int64_t childTriangles = 0;
    for (size_t i = 0; i < choices.size(); ++i) {
      Push(first + static_cast<int32_t>(i), choices[i].priority);
      childTriangles += choices[i].triangles;
    }
    total_ += childTriangles - levels.At(current);
  }

  const StreamControllerSettings& settings_;
  Cut cut_;
  std::vector<Candidate> heap_;
  int64_t total_ = 0;
  double nearestDistance_ = std::numeric_limits<double>::max();
};

}  // namespace

Cut SelectTargetCut(const std::vector<ModelNode*>& roots, float coverage, const StreamControllerSettings& settings) {
  return TargetCutBuilder(settings).Build(roots, coverage);
}

int64_t CaptureCurrentCut(ModelNode& root, Cut& cut) {
  cut.Clear();
  cut.roots.push_back(cut.Add(root, root.shownLevel, -1));
  int64_t triangles = 0;
  std::vector<int32_t> pending{cut.roots.front()};
  while (!pending.empty()) {
    const int32_t selection = pending.back();
    pending.pop_back();
    const ModelNode& node = *cut[selection].node;
    if (node.shownLevel != -1) {
      triangles += Triangles(node, node.shownLevel);
      continue;
    }
    const int32_t first = cut.AddChildren(selection, [](const ModelNode& child) { return child.shownLevel; });
    for (int32_t i = first + cut[selection].childCount - 1; i >= first; --i) pending.push_back(i);
  }
  return triangles;
}

}  // namespace ovra
