#pragma once

#include "format/model_node.h"

namespace ovra {

// Marks `node` as being replaced by a pending swap and counts it in the
// `lockCount` of the node and every ancestor. Locking a locked node logs an
// error and changes nothing.
void Lock(ModelNode& node);

// Undoes Lock. Unlocking an unlocked node logs an error and changes nothing.
void Unlock(ModelNode& node);

// Whether a pending swap involves `node` or a node below it.
inline bool HasLockInSubtree(const ModelNode& node) { return node.lockCount > 0; }

// Whether a pending swap replaces a strict ancestor of `node`.
bool HasLockedAncestor(const ModelNode& node);

}  // namespace ovra
