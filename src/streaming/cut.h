#pragma once

#include <cstdint>
#include <vector>

#include "format/model_node.h"
#include "ovra/records.h"

namespace ovra {

// One node of a cut through a model tree. A selection with children stands
// for its children; one without selects `level` of `node` (-1: none).
struct NodeSelection {
  ModelNode* node = nullptr;
  int32_t level = -1;
  int32_t parent = -1;      // index in the cut, -1 for a root
  int32_t firstChild = -1;  // a selection's children are stored together
  int32_t childCount = 0;
};

// A forest of selections, stored flat so that building one allocates little.
struct Cut {
  std::vector<NodeSelection> selections;
  std::vector<int32_t> roots;

  void Clear() {
    selections.clear();
    roots.clear();
  }
  int32_t Add(ModelNode& node, int32_t level, int32_t parent) {
    selections.push_back({&node, level, parent, -1, 0});
    return static_cast<int32_t>(selections.size() - 1);
  }
  // Appends a selection of every child of the node selected at `index`, at
  // the level `levelOf(child)`. Returns the first child's index.
  template <typename LevelOf>
  int32_t AddChildren(int32_t index, LevelOf&& levelOf) {
    const auto first = static_cast<int32_t>(selections.size());
    ModelNode& node = *selections[static_cast<size_t>(index)].node;
    for (const auto& child : node.children) Add(*child, levelOf(*child), index);
    NodeSelection& parent = selections[static_cast<size_t>(index)];
    parent.firstChild = first;
    parent.childCount = static_cast<int32_t>(node.children.size());
    return first;
  }
  const NodeSelection& operator[](int32_t index) const { return selections[static_cast<size_t>(index)]; }
  NodeSelection& operator[](int32_t index) { return selections[static_cast<size_t>(index)]; }
};

// The cut to aim for: grown from the coarsest available level of each root's
// children, refining the smallest priorities first while the selected
// triangles stay below the budget. `coverage` is the scene's share of the
// screen; below 1 the settings' priority cutoff applies.
Cut SelectTargetCut(const std::vector<ModelNode*>& roots, float coverage, const StreamControllerSettings& settings);

// Replaces `cut` with the levels shown now under `root`, as a single root.
// Returns their triangles.
int64_t CaptureCurrentCut(ModelNode& root, Cut& cut);

}  // namespace ovra
