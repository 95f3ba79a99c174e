#pragma once

#include <cstdint>

#include "ovra/export.h"

namespace ovra {

/// Two 32-bit floats.
struct OVRA_API Vec2 {
  float x = 0.0f;  ///< First component.
  float y = 0.0f;  ///< Second component.
};

/// Three 32-bit floats: a point or direction in model or world space.
struct OVRA_API Vec3 {
  float x = 0.0f;  ///< First component.
  float y = 0.0f;  ///< Second component.
  float z = 0.0f;  ///< Third component.
};

/// Four 32-bit floats.
struct OVRA_API Vec4 {
  float x = 0.0f;  ///< First component.
  float y = 0.0f;  ///< Second component.
  float z = 0.0f;  ///< Third component.
  float w = 0.0f;  ///< Fourth component.
};

/// Camera and view state, passed to `StreamController::Update` once per frame.
struct OVRA_API EnvironmentInfo {
  /// Camera position in world space (each model sits at its own offset).
  Vec3 cameraPosition;
  /// Full vertical opening angle of the camera, in degrees.
  float verticalFieldOfView = 0.0f;
  /// Viewport width divided by height.
  float aspectRatio = 0.0f;
};

/// Passed to `IMeshRenderer::AddMesh`. Reserved for visual debugging aids;
/// the library always passes all three fields as zero.
struct OVRA_API VisualizationInfo {
  uint32_t reserved0 = 0;  ///< Reserved, 0.
  uint32_t reserved1 = 0;  ///< Reserved, 0.
  uint32_t reserved2 = 0;  ///< Reserved, 0.
};

/// Level-of-detail selection settings, copied by the `StreamController`
/// constructor.
struct OVRA_API StreamControllerSettings {
  /// Refinement stops once the selected triangles reach this count; while
  /// more than this are shown, swaps that load the fewest triangles win.
  int32_t triangleBudget = 0;
  /// Exponent of the camera distance in the refinement priority.
  float distanceExponent = 0.0f;
  /// true: distance to a node's box centre; false: to the nearest box point.
  bool useCenterDistance = false;
  /// Below this distance to the nearest candidate node,
  /// `nearDistanceExponent` replaces `distanceExponent`.
  float nearDistance = 0.0f;
  /// The distance exponent used near the camera (see `nearDistance`).
  float nearDistanceExponent = 0.0f;
  /// While the scene covers less than the whole screen, candidates whose
  /// priority is at least this are not refined. 0 disables the cutoff.
  float priorityCutoff = 0.0f;
};

/// Statistics of a `StreamController`, returned by value by
/// `StreamController::GetDebugInfo`.
struct OVRA_API DebugInfo {
  uint8_t reservedHead[192] = {};  ///< Reserved, zero.
  /// Triangles of the levels shown at the last full update.
  uint64_t displayedTriangles = 0;
  /// Requests served from the process-wide download cache, as of the last
  /// update that ran.
  uint64_t cacheHits = 0;
  /// Requests the download cache could not serve, as of the last update.
  uint64_t cacheMisses = 0;
  /// Swap operations started and not yet completed (at most 5).
  uint64_t pendingOperations = 0;
  uint8_t reservedTail[256] = {};  ///< Reserved, zero.
};

}  // namespace ovra
