#pragma once

namespace ovra {

/// Levels of detail per node that a mesh id tells apart. A node's levels are
/// 0 (the finest) to 3.
inline constexpr int kLevelsPerNode = 4;

/// The id under which `IMeshRenderer::AddMesh` delivers level `level` of the
/// node `nodeId`: level + 4 x node id.
constexpr int MeshIdOf(int nodeId, int level) { return level + kLevelsPerNode * nodeId; }

/// The node whose level a mesh id names. Node ids are unique in the process.
constexpr int NodeOfMeshId(int meshId) { return meshId / kLevelsPerNode; }

/// The level (0 the finest) a mesh id names.
constexpr int LevelOfMeshId(int meshId) { return meshId % kLevelsPerNode; }

}  // namespace ovra
