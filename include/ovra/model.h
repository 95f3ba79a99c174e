#pragma once

#include <memory>

#include "ovra/data_source.h"
#include "ovra/export.h"
#include "ovra/mesh_renderer.h"
#include "ovra/records.h"

namespace ovra {

namespace detail {
class ModelPimpl;
struct ModelAccess;
}  // namespace detail

/// The host's handle on one streamed model.
///
/// Threading: every member is called on the host thread.
/// Ownership: the host owns the model and must keep the `DataSource` and the
/// `IMeshRenderer` given to `Init` alive for as long as the model exists.
/// Destroying the model drops its pending work; decoding already running on
/// the worker pool finishes and its results are discarded.
class OVRA_API Model {
 public:
  Model();
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;
  virtual ~Model();

  /// Starts loading the model from `dataSource` and returns at once. Progress
  /// happens inside `UpdateRunningTasks` (or `StreamController::Update`);
  /// failures are logged. Meshes go to `renderer`.
  ///
  /// `densityScale` divides each level's triangle density in the level
  /// choice; `modelOffset` places the model's origin in world space;
  /// `startDepth` and `startLevel` choose the first nodes to show (-1 for the
  /// automatic choice). A model is initialised once: a second call is logged
  /// as an error and ignored.
  void Init(DataSource& dataSource, IMeshRenderer& renderer, float densityScale, const Vec3& modelOffset,
            int startDepth, int startLevel);

  /// Advances the model's pending work: call once per frame, after completing
  /// the range requests answered since the last frame. Does nothing before
  /// `Init`. Exceptions raised while decoding leave through this call.
  void UpdateRunningTasks();

  /// Camera position in the model's own space, used to choose what to load
  /// first and how finely. Ignored before `Init`.
  void UpdateLocalCameraPosition(Vec3 position);
  /// The last position given, or (0, 0, 0).
  Vec3 LocalCameraPosition() const;

  /// True once the model's first meshes have been delivered.
  bool InitializationComplete() const;

 private:
  friend struct detail::ModelAccess;
  std::unique_ptr<detail::ModelPimpl> pimpl_;
};

}  // namespace ovra
