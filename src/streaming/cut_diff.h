#pragma once

#include <cstdint>
#include <vector>

#include "streaming/cut.h"
#include "streaming/swap_operation.h"

namespace ovra {

// Appends the swaps that turn the selection `shown` of `current` into the
// selection `wanted` of `target` (both of the same node), depth first in
// child order. Swaps that would show no triangles are left out.
void DiffCuts(const Cut& current, int32_t shown, const Cut& target, int32_t wanted,
              std::vector<SwapOperation>& operations);

// The swap to start: while more than `triangleBudget` triangles are shown the
// one adding the fewest triangles, otherwise the nearest; the earliest wins
// ties. Swaps touching a subtree a pending swap works on are passed over.
// Null when none qualifies.
const SwapOperation* ChooseOperation(const std::vector<SwapOperation>& operations, uint64_t displayedTriangles,
                                     int32_t triangleBudget);

}  // namespace ovra
