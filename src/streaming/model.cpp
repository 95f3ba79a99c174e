#include "ovra/model.h"
#include "host/data_source_pimpl.h"
#include "streaming/model_pimpl.h"

namespace ovra {

Model::Model() : pimpl_(std::make_unique<detail::ModelPimpl>()) {}

Model::~Model() = default;

void Model::Init(DataSource& dataSource, IMeshRenderer& renderer, float densityScale, const Vec3& modelOffset,
                 int startDepth, int startLevel) {
  pimpl_->Init(detail::DataSourceAccess::Pimpl(dataSource), renderer, densityScale, modelOffset, startDepth,
               startLevel);
}

void Model::UpdateRunningTasks() {
  if (pimpl_->context) UpdateTaskGroups(pimpl_->context->runningTaskGroups);
}

void Model::UpdateLocalCameraPosition(Vec3 position) {
  if (pimpl_->context) pimpl_->context->localCameraPosition = position;
}

Vec3 Model::LocalCameraPosition() const { return pimpl_->context ? pimpl_->context->localCameraPosition : Vec3{}; }

bool Model::InitializationComplete() const { return pimpl_->initializationComplete; }

}  // namespace ovra
