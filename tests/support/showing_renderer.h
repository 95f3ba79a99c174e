#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ovra/host/swap_collector.h"
#include "ovra/mesh_renderer.h"

namespace ovra::test {

// Keeps the meshes of a swap hidden until all have arrived, shows them on the
// next frame and then calls one copy of onShown. Records every misuse.
class ShowingRenderer final : public IMeshRenderer {
 public:
  void AddMesh(const Mesh&, int meshId, int operationId, const int* operationMeshIds, size_t operationMeshCount,
               VisualizationInfo, std::function<void()> onShown) override {
    ++meshesAdded_;
    if (Holds(meshId)) Fault("mesh " + std::to_string(meshId) + " added twice");
    if (operationId != -1) CheckListed(meshId, operationId, {operationMeshIds, operationMeshIds + operationMeshCount});
    (swaps_.Add(meshId, operationId, operationMeshCount, std::move(onShown)) ? visible_ : waiting_).insert(meshId);
  }

  void RemoveMesh(int meshId) override {
    if (visible_.erase(meshId) == 0) Fault("removed mesh " + std::to_string(meshId) + " that is not shown");
  }
  void RemoveAllMeshes() override { visible_.clear(); }
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }

  // Shows the swaps complete since an earlier frame and reports them shown;
  // those completed during this frame wait for the next.
  void EndFrame() {
    for (host::CompleteSwap& swap : std::exchange(ready_, swaps_.TakeComplete())) {
      for (int id : swap.meshIds) {
        waiting_.erase(id);
        visible_.insert(id);
      }
      listed_.erase(swap.operationId);  // its id may be reused from onShown on
      swap.onShown();
    }
  }

  const std::set<int>& Visible() const { return visible_; }
  bool Holds(int meshId) const { return visible_.contains(meshId) || waiting_.contains(meshId); }
  bool HasWaiting() const { return swaps_.PendingOperations() > 0 || !ready_.empty(); }
  int MeshesAdded() const { return meshesAdded_; }
  const std::vector<std::string>& Faults() const { return faults_; }

 private:
  // Every mesh of an operation lists the same ids, its own among them.
  void CheckListed(int meshId, int operationId, const std::vector<int>& ids) {
    const auto [listed, first] = listed_.try_emplace(operationId, ids);
    if (!first && listed->second != ids) Fault("operation " + std::to_string(operationId) + " changed its mesh ids");
    if (std::find(ids.begin(), ids.end(), meshId) == ids.end()) Fault("mesh not listed by its operation");
  }

  void Fault(std::string what) { faults_.push_back(std::move(what)); }

  host::SwapCollector swaps_;
  std::vector<host::CompleteSwap> ready_;
  std::map<int, std::vector<int>> listed_;
  std::set<int> visible_;
  std::set<int> waiting_;
  std::vector<std::string> faults_;
  int meshesAdded_ = 0;
};

}  // namespace ovra::test
