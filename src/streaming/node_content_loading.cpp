#include "streaming/node_content_loading.h"

#include <string>

#include "content/content_tasks.h"
#include "format/limits.h"
#include "ovra/logging.h"
#include "streaming/model_pimpl.h"

namespace ovra {

namespace {

bool HasLevel(const ModelNode& node, int level) {
  return level >= 0 && static_cast<size_t>(level) < node.levels.size();
}

std::shared_ptr<Task<OwnedMesh>> EmptyContent() {
  auto task = std::make_shared<Task<OwnedMesh>>();
  task->SetResult({});
  return task;
}

// The entry named in `slot`, or the empty entry when there is none or it is
// larger than any content entry may be.
ModelFileEntry EntryOf(const ModelFileLayout& layout, const ModelNodeLevel& level, int slot) {
  const std::string& name = LevelFileName(level, slot);
  if (name.empty()) return {};
  const auto it = layout.filesByName.find(name);
  if (it == layout.filesByName.end()) return {};
  if (it->second.size > kMaxEntryBytes) {
    Log::Warning("Entry " + name + " of " + std::to_string(it->second.size) +
                 " bytes is larger than a content entry may be; it is not loaded.");
    return {};
  }
  return it->second;
}

}  // namespace

std::shared_ptr<Task<OwnedMesh>> CreateNodeContentTask(ModelNode& node, int level, DownloadGroup* group) {
  detail::ModelContext* context = node.context;
  if (!HasLevel(node, level) || context == nullptr) return EmptyContent();
  const ModelNodeLevel& record = node.levels[static_cast<size_t>(level)];
  const ModelFileLayout& layout = context->layout;
  const ModelFileEntry geometryEntry = EntryOf(layout, record, kSlotGeometry);
  if (geometryEntry.name.empty()) return EmptyContent();

  const ContentEnvironment environment{context->jobs, node.model->materials, context->renderer};
  Downloader& downloader = *context->downloader;
  auto request = [&](int slot) { return downloader.RequestBytes(EntryOf(layout, record, slot), group); };
  auto texture = [&](int slot) { return MakeTextureTask(environment, LevelFileName(record, slot), request(slot)); };

  auto geometry = MakeGeometryTask(environment, BoundsOf(node), record, downloader.RequestBytes(geometryEntry, group));
  auto color = texture(kSlotColorMap);
  auto normal = texture(kSlotNormalMap);
  auto colorAlpha = texture(kSlotColorMapAlpha);
  auto metalRoughness = texture(kSlotMetRoughMap);
  // One file serving both maps is fetched once; the renderer reads occlusion
  // from the metal-roughness texture.
  auto occlusion = record.occlusionMap == record.metRoughMap ? MakeDefaultTextureTask() : texture(kSlotOcclusionMap);
  auto emissive = texture(kSlotEmissiveMap);
  auto merged = MakeMergeTask(environment, color, colorAlpha);
  return MakeOwnedMeshTask(geometry, {merged, normal, metalRoughness, occlusion, emissive});
}

std::shared_ptr<Task<int>> CreateNodeLoadTask(ModelNode& node, int level, DownloadGroup* group) {
  auto content = CreateNodeContentTask(node, level, group);
  auto load = MakeTask<int>(
      [&node, level](const ConstTaskList& dependencies) {
        const OwnedMesh& owned = FirstDependencyResult<OwnedMesh>(dependencies);
        // A level the node does not have would reuse another node's mesh id.
        if (!HasLevel(node, level) || node.context == nullptr) return 0;
        const std::unique_ptr<Mesh> mesh = BuildRenderMesh(owned);
        node.shownLevel = level;
        node.context->renderer->AddMesh(*mesh, MeshId(node, level), -1, nullptr, 0, VisualizationInfo{}, {});
        return 0;
      },
      ExecutionMode::Inline);
  load->AddDependency(content);
  return load;
}

}  // namespace ovra
