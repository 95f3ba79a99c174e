#pragma once

#include <cstddef>
#include <functional>

#include "ovra/export.h"
#include "ovra/mesh_id.h"
#include "ovra/records.h"
#include "ovra/render_mesh.h"

namespace ovra {

/// The host's renderer. Implemented by the host, handed to `Model::Init`; the
/// model keeps a non-owning pointer, so the renderer must outlive every model
/// that uses it.
class OVRA_API IMeshRenderer {
 public:
  /// Value of `SelectTranscodeFormat` that keeps a KTX2 texture as stored.
  static constexpr int kKeepStoredFormat = 2147483647;

  IMeshRenderer() = default;
  /// Renderers may be copied; the library never does.
  IMeshRenderer(const IMeshRenderer&) = default;
  /// Renderers may be copied; the library never does.
  IMeshRenderer& operator=(const IMeshRenderer&) = default;
  /// Never called by the library: the host owns the renderer.
  virtual ~IMeshRenderer() = default;

  /// Receives one new mesh. Called on the host thread, from inside
  /// `Model::UpdateRunningTasks` or `StreamController::Update`.
  ///
  /// `mesh` and everything it points to are valid only during the call.
  /// `meshId` is level + 4 * node id (see `MeshIdOf`, `NodeOfMeshId`,
  /// `LevelOfMeshId`). Meshes of one swap operation share
  /// `operationId`, the array of all `operationMeshCount` mesh ids of the
  /// operation and a copy of the same `onShown` callback: keep them hidden
  /// until every mesh of the operation has arrived, show them together, then
  /// call one copy of `onShown` once, on the host thread. The callback removes
  /// the meshes they replace through `RemoveMesh`.
  ///
  /// Meshes of a model's first loads come with `operationId` -1, a null id
  /// array, count 0 and an empty callback: show them at once.
  virtual void AddMesh(const Mesh& mesh, int meshId, int operationId, const int* operationMeshIds,
                       size_t operationMeshCount, VisualizationInfo visualization, std::function<void()> onShown) = 0;

  /// Stops drawing and drops the mesh `meshId`. Called on the host thread,
  /// from inside an `onShown` callback.
  virtual void RemoveMesh(int meshId) = 0;

  /// Drops every mesh this renderer holds. Never called by the library: it is
  /// the host's own reset hook, for example when it destroys all models at
  /// once, kept on this interface so that tools can reset any renderer.
  virtual void RemoveAllMeshes() = 0;

  /// Chooses the transcode target of a KTX2 texture of the given size and
  /// component count: a KTX2 transcode format number suited to the GPU, or
  /// `kKeepStoredFormat`. Called on worker threads, concurrently with the
  /// host thread and with other calls of itself.
  virtual int SelectTranscodeFormat(int width, int height, int componentCount) = 0;
};

}  // namespace ovra
