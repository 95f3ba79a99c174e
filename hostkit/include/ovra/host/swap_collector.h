#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace ovra::host {

/// A swap operation whose meshes have all arrived.
struct CompleteSwap {
  /// The operation's id, as `IMeshRenderer::AddMesh` gave it.
  int operationId = -1;
  /// Its meshes, in the order they arrived.
  std::vector<int> meshIds;
  /// Call once, on the host thread, after the frame that first shows the
  /// meshes: it removes the meshes they replace.
  std::function<void()> onShown;
};

/// Keeps the rule of `IMeshRenderer::AddMesh` for swap operations: hold an
/// operation's meshes until all of them have arrived, show them together,
/// then call `onShown` once.
///
/// A renderer feeds it every `AddMesh` and keeps each mesh hidden unless
/// `Add` says it can be shown at once. Each frame it takes the complete
/// swaps, shows their meshes, draws, and then calls their callbacks.
///
/// Threading: host thread only, like `AddMesh`. Header-only, so that any
/// renderer can use it, whatever it links.
class SwapCollector {
 public:
  /// Records one mesh from `IMeshRenderer::AddMesh`. Returns true for a mesh
  /// of no operation (`operationId` -1, a model's first loads), which is
  /// shown at once and needs nothing more; false when the mesh waits for the
  /// rest of its operation.
  bool Add(int meshId, int operationId, size_t operationMeshCount, std::function<void()> onShown) {
    if (operationId == -1) return true;
    Waiting& waiting = waiting_[operationId];
    waiting.expected = operationMeshCount;
    waiting.swap.operationId = operationId;
    waiting.swap.meshIds.push_back(meshId);
    // Every mesh carries a copy of the same callback; one is kept.
    if (!waiting.swap.onShown) waiting.swap.onShown = std::move(onShown);
    if (waiting.swap.meshIds.size() == waiting.expected) {
      complete_.push_back(std::move(waiting.swap));
      waiting_.erase(operationId);
    }
    return false;
  }

  /// The swaps completed since the last call, in the order they completed.
  std::vector<CompleteSwap> TakeComplete() { return std::exchange(complete_, {}); }

  /// Operations still waiting for meshes, and complete ones not yet taken.
  size_t PendingOperations() const { return waiting_.size() + complete_.size(); }

  /// Forgets every operation held, for a renderer's reset.
  void Clear() {
    waiting_.clear();
    complete_.clear();
  }

 private:
  struct Waiting {
    size_t expected = 0;
    CompleteSwap swap;
  };
  std::map<int, Waiting> waiting_;
  std::vector<CompleteSwap> complete_;
};

}  // namespace ovra::host
