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
double OrderKey(double priority) {
  return std::isnan(priority) ? std::numeric_limits<double>::infinity() : priority;
}

bool ComesAfter(const Candidate& a, const Candidate& b) { return OrderKey(a.priority) > OrderKey(b.priority); }

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
      std::pop_heap(heap_.begin(), heap_.end(), ComesAfter);
      const Candidate top = heap_.back();
      heap_.pop_back();
      if (cutoff > 0 && top.priority >= cutoff) continue;
      Refine(top, exponent);
    }
    return std::move(cut_);
  }

 private:
  double PriorityOf(const ModelNode& node, int level, float exponent) const {
    return Priority(node, level, exponent, settings_.useCenterDistance);
  }

  void Push(int32_t selection, double priority) {
    heap_.push_back({selection, priority});
    std::push_heap(heap_.begin(), heap_.end(), ComesAfter);
  }

  // Children without triangles are passed through to their own children;
  // the others start at their coarsest level.
  void ExpandInitially(int32_t selection) {
    const int32_t first = cut_.AddChildren(selection, [](const ModelNode& child) {
      const int coarsest = CoarsestAvailableLevel(child);
      return coarsest == -1 ? child.shownLevel : coarsest;
    });
    for (int32_t i = first; i < first + cut_[selection].childCount; ++i) {
      const ModelNode& child = *cut_[i].node;
      if (CoarsestAvailableLevel(child) == -1) {
        ExpandInitially(i);
        continue;
      }
      Push(i, PriorityOf(child, cut_[i].level, settings_.distanceExponent));
      total_ += Triangles(child, cut_[i].level);
      nearestDistance_ = std::min(nearestDistance_, static_cast<double>(NodeDistance(child, settings_.useCenterDistance)));
    }
  }

  // The coarsest level of `child` whose priority exceeds its parent's.
  int ChooseChildLevel(const ModelNode& child, double parentPriority, float exponent) const {
    int level = CoarsestAvailableLevel(child);
    double priority = level == -1 ? 0.0 : PriorityOf(child, level, exponent);
    while (!(parentPriority < priority) && level >= 1) {
      const int finer = NextFinerAvailableLevel(child, level);
      if (finer == -1) break;
      level = finer;
      priority = PriorityOf(child, level, exponent);
    }
    return level;
  }

  void Refine(const Candidate& top, float exponent) {
    const int32_t selection = top.selection;
    ModelNode& node = *cut_[selection].node;
    const int current = cut_[selection].level;
    const int finer = current >= 0 ? NextFinerAvailableLevel(node, current) : -1;
    if (finer != -1) {
      total_ += Triangles(node, finer) - Triangles(node, current);
      cut_[selection].level = finer;
      Push(selection, PriorityOf(node, finer, exponent));
      return;
    }
    if (node.children.empty()) return;
    std::vector<int> levels;
    levels.reserve(node.children.size());
    for (const auto& child : node.children) levels.push_back(ChooseChildLevel(*child, top.priority, exponent));
    size_t next = 0;
    const int32_t first = cut_.AddChildren(selection, [&](const ModelNode& child) {
      const int level = levels[next++];
      return level == -1 ? child.shownLevel : level;
    });
    int64_t childTriangles = 0;
    for (size_t i = 0; i < levels.size(); ++i) {
      const ModelNode& child = *node.children[i];
      Push(first + static_cast<int32_t>(i), PriorityOf(child, levels[i], exponent));
      childTriangles += Triangles(child, levels[i]);
    }
    total_ += childTriangles - Triangles(node, current);
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
