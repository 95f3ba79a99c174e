#include "streaming/node_lock.h"

#include "ovra/logging.h"

namespace ovra {

namespace {

void AddToLockCounts(ModelNode& node, int delta) {
  for (ModelNode* n = &node; n != nullptr; n = n->parent) n->lockCount += static_cast<uint32_t>(delta);
}

}  // namespace

void Lock(ModelNode& node) {
  if (node.locked) {
    Log::Error("Lock() called on ModelNode that was already locked.");
    return;
  }
  node.locked = true;
  AddToLockCounts(node, 1);
}

void Unlock(ModelNode& node) {
  if (!node.locked) {
    Log::Error("Unlock() called on ModelNode that was already unlocked.");
    return;
  }
  node.locked = false;
  AddToLockCounts(node, -1);
}

bool HasLockedAncestor(const ModelNode& node) {
  for (const ModelNode* n = node.parent; n != nullptr; n = n->parent) {
    if (n->locked) return true;
  }
  return false;
}

}  // namespace ovra
