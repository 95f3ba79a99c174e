#pragma once

#include <memory>

#include "format/container.h"
#include "ovra/mesh_renderer.h"
#include "ovra/records.h"
#include "tasks/downloader.h"
#include "tasks/job_guard.h"
#include "tasks/task_group.h"

namespace ovra::detail {

class DataSourcePimpl;

// Per-model state shared by the model's nodes and tasks.
struct ModelContext {
  ModelContext(DataSourcePimpl& source, IMeshRenderer& meshRenderer)
      : downloader(std::make_unique<Downloader>(source)), dataSource(&source), renderer(&meshRenderer) {}

  ModelFileLayout layout;
  TaskGroupList runningTaskGroups;
  std::unique_ptr<Downloader> downloader;
  DataSourcePimpl* dataSource;
  IMeshRenderer* renderer;
  // Camera position in model space.
  Vec3 localCameraPosition{};
  // The model's pool jobs, cancelled and waited for when the model goes.
  std::shared_ptr<JobGuard> jobs = std::make_shared<JobGuard>();
};

}  // namespace ovra::detail
