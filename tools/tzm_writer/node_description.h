#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ovra::tools {

struct BoxDescription {
  float minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;
};

// One level of a node: container entry names (empty for none) and its count.
struct LevelDescription {
  std::string geometry;
  std::string material;
  std::string colorMap;
  std::string colorMapAlpha;
  std::string emissiveMap;
  std::string metRoughMap;
  std::string normalMap;
  std::string occlusionMap;
  std::string lightMap;
  int64_t triangleCount = 0;
};

struct NodeDescription {
  BoxDescription box;
  std::optional<float> surfaceArea;
  std::vector<LevelDescription> levels;  // level 0 is the finest
  std::vector<NodeDescription> children;
};

struct DocumentDescription {
  std::string version = "0.0.3";
  // Material objects by name, written as the "materials" member when not empty.
  nlohmann::json materials = nlohmann::json::object();
  NodeDescription root;
};

// The node-structure document for `description`: the root node's members at
// the top level, with "version" and "materials" beside them.
nlohmann::json NodeDocumentJson(const DocumentDescription& description);

}  // namespace ovra::tools
