#include "streaming/cut_diff.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "streaming/node_lock.h"
#include "streaming/node_metrics.h"

namespace ovra {

namespace {

NodeLevel PairOf(const NodeSelection& selection) { return {selection.node, selection.level}; }

bool IsLeaf(const NodeSelection& selection) { return selection.childCount == 0; }

// The childless selections under `index`, depth first in child order.
std::vector<NodeLevel> LeavesUnder(const Cut& cut, int32_t index) {
  std::vector<NodeLevel> leaves;
  std::vector<int32_t> pending{index};
  while (!pending.empty()) {
    const NodeSelection& selection = cut[pending.back()];
    pending.pop_back();
    if (IsLeaf(selection)) {
      leaves.push_back(PairOf(selection));
      continue;
    }
    for (int32_t i = selection.firstChild + selection.childCount - 1; i >= selection.firstChild; --i) {
      pending.push_back(i);
    }
  }
  return leaves;
}

std::vector<NodeLevel> ChildrenOf(const Cut& cut, const NodeSelection& selection) {
  std::vector<NodeLevel> children;
  for (int32_t i = 0; i < selection.childCount; ++i) children.push_back(PairOf(cut[selection.firstChild + i]));
  return children;
}

void Emit(SwapKind kind, std::vector<NodeLevel> from, std::vector<NodeLevel> to,
          std::vector<SwapOperation>& operations) {
  int64_t triangles = 0;
  double distances = 0.0;
  for (const NodeLevel& pair : to) {
    triangles += Triangles(*pair.node, pair.level);
    distances += BoxDistance(*pair.node);
  }
  if (triangles <= 0) return;
  const double meanDistance = distances / static_cast<double>(from.size() + to.size());
  operations.push_back({std::move(from), std::move(to), kind, triangles, meanDistance});
}

bool IsBlocked(const SwapOperation& operation) {
  for (const NodeLevel& pair : operation.from) {
    if (HasLockInSubtree(*pair.node) || HasLockedAncestor(*pair.node)) return true;
  }
  return false;
}

}  // namespace

void DiffCuts(const Cut& current, int32_t shown, const Cut& target, int32_t wanted,
              std::vector<SwapOperation>& operations) {
  std::vector<std::pair<int32_t, int32_t>> pending{{shown, wanted}};
  while (!pending.empty()) {
    const auto [a, b] = pending.back();
    pending.pop_back();
    const NodeSelection& now = current[a];
    const NodeSelection& next = target[b];
    if (IsLeaf(now) && IsLeaf(next)) {
      if (now.level != next.level) Emit(SwapKind::SwitchLevel, {PairOf(now)}, {PairOf(next)}, operations);
    } else if (IsLeaf(now)) {
      Emit(SwapKind::Refine, {PairOf(now)}, LeavesUnder(target, b), operations);
    } else if (IsLeaf(next)) {
      Emit(SwapKind::Coarsen, ChildrenOf(current, now), {PairOf(next)}, operations);
    } else {
      for (int32_t i = std::min(now.childCount, next.childCount) - 1; i >= 0; --i) {
        pending.emplace_back(now.firstChild + i, next.firstChild + i);
      }
    }
  }
}

const SwapOperation* ChooseOperation(const std::vector<SwapOperation>& operations, uint64_t displayedTriangles,
                                     int32_t triangleBudget) {
  const bool overBudget = displayedTriangles > static_cast<uint64_t>(static_cast<int64_t>(triangleBudget));
  const SwapOperation* chosen = nullptr;
  // Over budget, an operation of 2^31 - 1 triangles or more is never the cure.
  int64_t fewestTriangles = std::numeric_limits<int32_t>::max();
  double nearest = std::numeric_limits<double>::max();
  for (const SwapOperation& operation : operations) {
    if (IsBlocked(operation)) continue;
    if (overBudget ? operation.triangles < fewestTriangles : operation.meanDistance < nearest) {
      chosen = &operation;
      fewestTriangles = operation.triangles;
      nearest = operation.meanDistance;
    }
  }
  return chosen;
}

}  // namespace ovra
