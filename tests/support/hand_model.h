#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/data_source_pimpl.h"
#include "ovra/model.h"
#include "streaming/model_pimpl.h"
#include "support/recording_data_source.h"
#include "support/recording_renderer.h"

namespace ovra::test {

// A model assembled in memory instead of read from a file: nodes have boxes,
// areas and levels with triangle counts. Loads of their levels deliver empty
// meshes at once unless `fetchContent` is set: then every level names a
// geometry entry that the data source only answers when told.
class HandModel {
 public:
  struct Box {
    float minX, maxX, minY, maxY, minZ, maxZ;
  };

  explicit HandModel(bool fetchContent = false) : fetchContent_(fetchContent) {
    detail::ModelPimpl& pimpl = Pimpl();
    pimpl.context = std::make_unique<detail::ModelContext>(detail::DataSourceAccess::Pimpl(source), renderer);
    pimpl.densityScale = 1.0f;
  }

  // The root when `parent` is null, else a new last child of `parent`.
  ModelNode& AddNode(ModelNode* parent, Box box, std::vector<int64_t> levelTriangles, float area = 1.0f) {
    detail::ModelPimpl& pimpl = Pimpl();
    std::unique_ptr<ModelNode> owned = CreateModelNode(&pimpl);
    ModelNode& node = *owned;
    node.minX = box.minX, node.maxX = box.maxX, node.minY = box.minY;
    node.maxY = box.maxY, node.minZ = box.minZ, node.maxZ = box.maxZ;
    node.surfaceArea = area;
    node.context = pimpl.context.get();
    for (int64_t triangles : levelTriangles) AddLevel(node, triangles);
    if (parent == nullptr) {
      pimpl.rootNode = std::move(owned);
    } else {
      node.parent = parent;
      node.depth = parent->depth + 1;
      parent->children.push_back(std::move(owned));
    }
    return node;
  }

  // Lets controllers stream the model.
  void CompleteInitialization() { Pimpl().initializationComplete = true; }

  void SetCamera(Vec3 position) { model.UpdateLocalCameraPosition(position); }
  detail::ModelPimpl& Pimpl() { return detail::ModelAccess::Pimpl(model); }
  ModelNode& Root() { return *Pimpl().rootNode; }

  RecordingDataSource source{std::vector<uint8_t>(64, 0), RecordingDataSource::Mode::AnswerLater};
  RecordingRenderer renderer;
  Model model;

 private:
  void AddLevel(ModelNode& node, int64_t triangles) {
    ModelNodeLevel level;
    level.triangleCount = triangles;
    if (fetchContent_) {
      level.geometry = "node" + std::to_string(node.id) + "_" + std::to_string(node.levels.size());
      ModelFileLayout& layout = Pimpl().context->layout;
      const uint64_t offset = 16 * layout.filesByName.size();
      layout.filesByName[level.geometry] = ModelFileEntry{offset, 16, level.geometry, 0, false};
    }
    node.levels.push_back(std::move(level));
    RecordLevelTriangles(node);
  }

  bool fetchContent_;
};

}  // namespace ovra::test
