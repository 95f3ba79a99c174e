#include "content/content_tasks.h"

#include "content/texture_decoder.h"

namespace ovra {

std::shared_ptr<Task<cxm::Mesh>> MakeGeometryTask(const ContentEnvironment& environment, const NodeBounds& bounds,
                                                  ModelNodeLevel level, std::shared_ptr<ByteTask> bytes) {
  auto task = MakeGuardedPoolTask<cxm::Mesh>(
      environment.jobs,
      [bounds, level = std::move(level), materials = environment.materials](const ConstTaskList& dependencies) {
        return DecodeLevelGeometry(bounds, level, materials.get(),
                                   FirstDependencyResult<std::vector<uint8_t>>(dependencies));
      });
  task->AddDependency(std::move(bytes));
  return task;
}

std::shared_ptr<Task<cxm::Texture>> MakeTextureTask(const ContentEnvironment& environment, std::string fileName,
                                                    std::shared_ptr<ByteTask> bytes) {
  auto task = MakeGuardedPoolTask<cxm::Texture>(
      environment.jobs,
      [fileName = std::move(fileName), renderer = environment.renderer](const ConstTaskList& dependencies) {
        return DecodeTexture(FirstDependencyResult<std::vector<uint8_t>>(dependencies), fileName, renderer);
      });
  task->AddDependency(std::move(bytes));
  return task;
}

std::shared_ptr<Task<cxm::Texture>> MakeDefaultTextureTask() {
  auto task = std::make_shared<Task<cxm::Texture>>();
  task->SetResult({});
  return task;
}

std::shared_ptr<Task<cxm::Texture>> MakeMergeTask(const ContentEnvironment& environment,
                                                  std::shared_ptr<Task<cxm::Texture>> color,
                                                  std::shared_ptr<Task<cxm::Texture>> alpha) {
  auto task = MakeGuardedPoolTask<cxm::Texture>(environment.jobs, [](const ConstTaskList& dependencies) {
    return MergeColorAlpha(UnpackResult<cxm::Texture>(dependencies, 0), UnpackResult<cxm::Texture>(dependencies, 1));
  });
  task->AddDependency(std::move(color));
  task->AddDependency(std::move(alpha));
  return task;
}

std::shared_ptr<Task<OwnedMesh>> MakeOwnedMeshTask(std::shared_ptr<Task<cxm::Mesh>> geometry,
                                                   const std::vector<std::shared_ptr<Task<cxm::Texture>>>& slots) {
  auto task = MakeTask<OwnedMesh>(AssembleOwnedMesh, ExecutionMode::Inline);
  task->AddDependency(std::move(geometry));
  for (const auto& slot : slots) task->AddDependency(slot);
  return task;
}

}  // namespace ovra
