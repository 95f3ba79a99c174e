#include <cmath>

#include "ovra/logging.h"
#include "streaming/model_pimpl.h"
#include "streaming/node_content_loading.h"
#include "streaming/node_metrics.h"

namespace ovra::detail {

namespace {

struct FirstLoad {
  ModelNode* node;
  int level;
};

int LastLevel(const ModelNode& node) { return static_cast<int>(node.levels.size()) - 1; }

// Every node at `depth`, in document order, each at `level` or its coarsest
// level when it has fewer.
std::vector<FirstLoad> NodesAtDepth(ModelNode& root, uint32_t depth, int level) {
  std::vector<FirstLoad> loads;
  std::vector<ModelNode*> pending{&root};
  while (!pending.empty()) {
    ModelNode* node = pending.back();
    pending.pop_back();
    if (node->depth == depth) {
      loads.push_back({node, std::min(level, LastLevel(*node))});
      continue;
    }
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.push_back(it->get());
  }
  return loads;
}

// The finest level whose detail the child's apparent size justifies.
int LevelByDistance(const ModelNode& child, const Vec3& camera) {
  const double ratio = std::sqrt(static_cast<double>(child.surfaceArea)) / (DistanceToBox(child, camera) + 0.5);
  double threshold = 1.0;
  for (int level = 0; level <= LastLevel(child); ++level, threshold *= 0.3) {
    if (ratio >= threshold) return level;
  }
  return LastLevel(child);
}

std::vector<FirstLoad> ChooseFirstLoads(ModelNode& root, int startDepth, int startLevel, const Vec3& camera) {
  if (startDepth >= 0 && startLevel >= 0) return NodesAtDepth(root, static_cast<uint32_t>(startDepth), startLevel);
  std::vector<FirstLoad> loads;
  for (const auto& child : root.children) loads.push_back({child.get(), LevelByDistance(*child, camera)});
  return loads;
}

}  // namespace

void ModelPimpl::StartFirstNodeLoads() {
  Downloader& downloader = *context->downloader;
  DownloadGroup* group = downloader.CreateDownloadGroup();
  TaskList loads;
  for (const FirstLoad& load : ChooseFirstLoads(*rootNode, startDepth, startLevel, context->localCameraPosition)) {
    loads.push_back(CreateNodeLoadTask(*load.node, load.level, group));
  }
  auto completion = MakeTask<int>(
      [this](const ConstTaskList&) {
        initializationComplete = true;
        Log::Status("Fully initialized");
        return 0;
      },
      ExecutionMode::Inline);
  completion->AddDependencies(loads);
  StartTaskGroup(context->runningTaskGroups, {completion, downloader.SubmitDownloadGroup(group)});
}

}  // namespace ovra::detail
