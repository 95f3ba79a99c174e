#pragma once

#include <memory>
#include <string>
#include <vector>

#include "content/owned_mesh.h"
#include "host/range_request.h"
#include "ovra/mesh_renderer.h"
#include "tasks/job_guard.h"

namespace ovra {

// What the decoding bodies of one model may use on a worker: everything by
// value or shared ownership, nothing that dies with the model.
struct ContentEnvironment {
  std::shared_ptr<JobGuard> jobs;
  std::shared_ptr<const MaterialTable> materials;
  // Host-owned; the guard keeps bodies from calling it after the model is gone.
  IMeshRenderer* renderer = nullptr;
};

// Decodes the level's geometry from `bytes` on the pool.
std::shared_ptr<Task<cxm::Mesh>> MakeGeometryTask(const ContentEnvironment& environment, const NodeBounds& bounds,
                                                  ModelNodeLevel level, std::shared_ptr<ByteTask> bytes);

// Decodes the texture file `fileName` from `bytes` on the pool.
std::shared_ptr<Task<cxm::Texture>> MakeTextureTask(const ContentEnvironment& environment, std::string fileName,
                                                    std::shared_ptr<ByteTask> bytes);

// An already finished default texture.
std::shared_ptr<Task<cxm::Texture>> MakeDefaultTextureTask();

// Merges the colour texture with its alpha map on the pool.
std::shared_ptr<Task<cxm::Texture>> MakeMergeTask(const ContentEnvironment& environment,
                                                  std::shared_ptr<Task<cxm::Texture>> color,
                                                  std::shared_ptr<Task<cxm::Texture>> alpha);

// Assembles the owned mesh inline from the geometry and the five texture
// slots, in slot order.
std::shared_ptr<Task<OwnedMesh>> MakeOwnedMeshTask(std::shared_ptr<Task<cxm::Mesh>> geometry,
                                                   const std::vector<std::shared_ptr<Task<cxm::Texture>>>& slots);

}  // namespace ovra
