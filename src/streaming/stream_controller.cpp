#include "ovra/stream_controller.h"

#include "streaming/stream_controller_pimpl.h"
#include "tasks/download_cache.h"

namespace ovra {

StreamController::StreamController(const StreamControllerSettings& settings)
    : pimpl_(std::make_unique<detail::StreamControllerPimpl>(settings)) {}

StreamController::~StreamController() = default;

void StreamController::StartStreamingModel(Model* model) {
  if (model != nullptr) pimpl_->StartStreaming(detail::ModelAccess::Pimpl(*model));
}

void StreamController::StopStreamingModel(Model* model) {
  if (model != nullptr) pimpl_->StopStreaming(detail::ModelAccess::Pimpl(*model));
}

void StreamController::Update(const EnvironmentInfo& environment) { pimpl_->Update(environment); }

DebugInfo StreamController::GetDebugInfo() const { return pimpl_->GetDebugInfo(); }

void StreamController::CleanupGlobalState() { DownloadCache::Instance().Clear(); }

}  // namespace ovra
