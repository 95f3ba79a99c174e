#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tzm_writer/node_description.h"
#include "tzm_writer/tzm_writer.h"

namespace ovra::test {

// A small but complete tree: a root with two children, the first with a
// child of its own, levels with texture names and a material table.
inline tools::DocumentDescription SmallTreeDocument() {
  using tools::LevelDescription;
  using tools::NodeDescription;
  auto level = [](const std::string& name, int64_t triangles) {
    LevelDescription l;
    l.geometry = name + ".mesh";
    l.material = "stone";
    l.colorMap = name + ".png";
    l.triangleCount = triangles;
    return l;
  };
  NodeDescription grandchild{{0, 1, 0, 1, 0, 1}, 2.0f, {level("g0", 400)}, {}};
  NodeDescription first{{-10, 0, -5, 5, -1, 1}, 40.0f, {level("a0", 1000), level("a1", 250)}, {grandchild}};
  NodeDescription second{{0, 10, -5, 5, -1, 1}, 40.0f, {level("b0", 900)}, {}};
  tools::DocumentDescription document;
  document.root = NodeDescription{{-10, 10, -5, 5, -1, 1}, 80.0f, {}, {first, second}};
  document.materials = {{"stone", {{"roughness", 0.25}, {"albedo", {{"x", 0.5}, {"y", 0.5}}}}},
                        {"glass", {{"useTransmission", true}}}};
  return document;
}

// A model file holding `document` and a small body entry for every geometry
// name in it.
inline std::vector<uint8_t> WriteModelFile(const tools::DocumentDescription& document) {
  tools::TzmWriter writer;
  writer.SetNodeDocument(tools::NodeDocumentJson(document));
  std::vector<const tools::NodeDescription*> pending{&document.root};
  while (!pending.empty()) {
    const tools::NodeDescription* node = pending.back();
    pending.pop_back();
    for (const auto& level : node->levels) {
      writer.AddFile(level.geometry, std::vector<uint8_t>(level.geometry.begin(), level.geometry.end()));
    }
    for (const auto& child : node->children) pending.push_back(&child);
  }
  return writer.Write();
}

}  // namespace ovra::test
