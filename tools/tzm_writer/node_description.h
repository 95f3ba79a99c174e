#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "format/model_node.h"

namespace ovra::tools {

struct BoxDescription {
  float minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;
};

// One level of a node: container entry names (empty for none) and its
// triangle count, exactly as the player reads it back.
using LevelDescription = ModelNodeLevel;

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
