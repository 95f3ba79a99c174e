#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include <nlohmann/json_fwd.hpp>

#include "format/material.h"
#include "format/model_node.h"

namespace ovra {

// Deepest node the document parse accepts; the root is at depth 0. A deeper
// tree makes the document unrecognised.
inline constexpr uint32_t kMaxNodeDepth = 512;
// Deepest JSON nesting the document may have: each node nests twice (its
// object and its children array), with room for boxes and materials.
inline constexpr size_t kMaxDocumentDepth = 2 * size_t{kMaxNodeDepth} + 16;

struct DocumentVersion {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t patch = 0;
  auto operator<=>(const DocumentVersion&) const = default;
};

// What the node-structure document holds. `root` is null when the document
// is not a usable tree (nested deeper than kMaxNodeDepth).
struct ParsedNodeDocument {
  MaterialTable materials;
  std::unique_ptr<ModelNode> root;
  // Levels beyond the fourth of any node, left out (see kMaxStreamedLevels).
  size_t droppedLevels = 0;
};

// Parses entry 0: inflates, reads the JSON, the materials and the tree, and
// applies the rule for documents older than 0.0.3. JSON syntax and type
// errors throw the JSON library's exceptions.
ParsedNodeDocument ParseNodeDocument(detail::ModelPimpl* model, const uint8_t* bytes, size_t length);

// "major.minor.patch"; anything else reads 0.0.0.
DocumentVersion ParseDocumentVersion(const std::string& text);

// Level `i` of a node object, or nothing when it has no geometry.
std::optional<ModelNodeLevel> ParseNodeLevel(const nlohmann::json& json, size_t i);

// Fills `node` from `json` and recurses into "children", keeping the first
// kMaxStreamedLevels levels of each node and counting the others in
// `droppedLevels`. Returns false when the tree is deeper than kMaxNodeDepth.
bool ParseNode(ModelNode& node, detail::ModelPimpl* model, const nlohmann::json& json, uint32_t depth,
               size_t* droppedLevels = nullptr);

// Overwrites areas and triangle counts the way documents before 0.0.3 expect.
void ApplyLegacyDocumentRule(ModelNode& root);

}  // namespace ovra
