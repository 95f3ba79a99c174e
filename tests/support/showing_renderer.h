#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

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
    if (operationId == -1) {
      visible_.insert(meshId);
      return;
    }
    Operation& operation = operations_[operationId];
    const std::vector<int> ids(operationMeshIds, operationMeshIds + operationMeshCount);
    if (operation.received.empty()) operation.ids = ids;
    if (operation.ids != ids) Fault("operation " + std::to_string(operationId) + " changed its mesh ids");
    if (std::find(ids.begin(), ids.end(), meshId) == ids.end()) Fault("mesh not listed by its operation");
    operation.received.insert(meshId);
    operation.onShown = std::move(onShown);
    waiting_.insert(meshId);
    if (operation.received.size() == ids.size()) operation.completeFrame = frame_;
  }

  void RemoveMesh(int meshId) override {
    if (visible_.erase(meshId) == 0) Fault("removed mesh " + std::to_string(meshId) + " that is not shown");
  }
  void RemoveAllMeshes() override { visible_.clear(); }
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }

  // Shows the swaps complete since an earlier frame and reports them shown.
  void EndFrame() {
    for (auto it = operations_.begin(); it != operations_.end();) {
      Operation& operation = it->second;
      if (operation.completeFrame < 0 || operation.completeFrame >= frame_) {
        ++it;
        continue;
      }
      for (int id : operation.ids) {
        waiting_.erase(id);
        visible_.insert(id);
      }
      std::function<void()> onShown = std::move(operation.onShown);
      it = operations_.erase(it);  // its id may be reused from onShown on
      onShown();
    }
    ++frame_;
  }

  const std::set<int>& Visible() const { return visible_; }
  bool Holds(int meshId) const { return visible_.contains(meshId) || waiting_.contains(meshId); }
  bool HasWaiting() const { return !operations_.empty(); }
  int MeshesAdded() const { return meshesAdded_; }
  const std::vector<std::string>& Faults() const { return faults_; }

 private:
  struct Operation {
    std::vector<int> ids;
    std::set<int> received;
    std::function<void()> onShown;
    int completeFrame = -1;
  };

  void Fault(std::string what) { faults_.push_back(std::move(what)); }

  std::map<int, Operation> operations_;
  std::set<int> visible_;
  std::set<int> waiting_;
  std::vector<std::string> faults_;
  int frame_ = 0;
  int meshesAdded_ = 0;
};

}  // namespace ovra::test
