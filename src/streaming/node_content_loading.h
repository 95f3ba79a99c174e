#pragma once

#include <memory>

#include "content/owned_mesh.h"
#include "format/model_node.h"
#include "tasks/downloader.h"

namespace ovra {

// The task graph that loads `level` of `node`: its geometry and texture
// entries requested into `group`, decoded on the pool and assembled into an
// owned mesh. A level that does not exist, a node not adopted by a model, or
// a geometry file missing from the container yields an already finished empty
// mesh and requests nothing. Host thread only.
std::shared_ptr<Task<OwnedMesh>> CreateNodeContentTask(ModelNode& node, int level, DownloadGroup* group);

// Loads `level` of `node` and hands it to the renderer outside any swap
// operation (operation id -1). A level that does not exist shows nothing.
std::shared_ptr<Task<int>> CreateNodeLoadTask(ModelNode& node, int level, DownloadGroup* group);

// The renderer's identifier of a node's level.
inline int MeshId(const ModelNode& node, int level) { return MeshIdOf(node.id, level); }

}  // namespace ovra
