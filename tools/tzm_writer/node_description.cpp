#include "tzm_writer/node_description.h"

namespace ovra::tools {

namespace {

// One per-level array member: element i belongs to level i.
template <typename Field>
nlohmann::json LevelArray(const std::vector<LevelDescription>& levels, Field field) {
  nlohmann::json array = nlohmann::json::array();
  for (const LevelDescription& level : levels) array.push_back(level.*field);
  return array;
}

nlohmann::json NodeJson(const NodeDescription& node) {
  nlohmann::json json = {
      {"boundingBox",
       {{"minX", node.box.minX},
        {"maxX", node.box.maxX},
        {"minY", node.box.minY},
        {"maxY", node.box.maxY},
        {"minZ", node.box.minZ},
        {"maxZ", node.box.maxZ}}},
      {"geometry", LevelArray(node.levels, &LevelDescription::geometry)},
      {"material", LevelArray(node.levels, &LevelDescription::material)},
      {"colorMap", LevelArray(node.levels, &LevelDescription::colorMap)},
      {"colorMapAlpha", LevelArray(node.levels, &LevelDescription::colorMapAlpha)},
      {"emissiveMap", LevelArray(node.levels, &LevelDescription::emissiveMap)},
      {"metRoughMap", LevelArray(node.levels, &LevelDescription::metRoughMap)},
      {"normalMap", LevelArray(node.levels, &LevelDescription::normalMap)},
      {"occlusionMap", LevelArray(node.levels, &LevelDescription::occlusionMap)},
      {"lightMap", LevelArray(node.levels, &LevelDescription::lightMap)},
      {"triangleCounts", LevelArray(node.levels, &LevelDescription::triangleCount)},
  };
  if (node.surfaceArea) json["surfaceArea"] = *node.surfaceArea;
  if (!node.children.empty()) {
    nlohmann::json children = nlohmann::json::array();
    for (const NodeDescription& child : node.children) children.push_back(NodeJson(child));
    json["children"] = std::move(children);
  }
  return json;
}

}  // namespace

nlohmann::json NodeDocumentJson(const DocumentDescription& description) {
  nlohmann::json document = NodeJson(description.root);
  document["version"] = description.version;
  if (!description.materials.empty()) document["materials"] = description.materials;
  return document;
}

}  // namespace ovra::tools
