#include "streaming/model_pimpl.h"

namespace ovra::detail {

// Where the adopted tree's first nodes are chosen and loaded. Content
// loading does not exist yet, so nothing is loaded and the model is never
// reported complete.
void ModelPimpl::StartFirstNodeLoads() {}

}  // namespace ovra::detail
