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

#include <random>

#include "mesh_encoder/mesh_encoder.h"

namespace ovra::test {

// A small random mesh: a fan over `triangles` + 2 vertices with normals and
// one texture-coordinate set in [0, 1].
inline tools::MeshToEncode SmallMesh(unsigned seed, uint32_t triangles = 20) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  tools::MeshToEncode mesh;
  mesh.uvSets.resize(1);
  for (uint32_t i = 0; i < triangles + 2; ++i) {
    mesh.positions.push_back({unit(random) * 4 - 2, unit(random) * 4 - 2, unit(random)});
    mesh.normals.push_back({unit(random) - 0.5f, unit(random) - 0.5f, 1.0f});
    mesh.uvSets[0].push_back({unit(random), unit(random)});
  }
  for (uint32_t i = 0; i < triangles; ++i) mesh.triangles.push_back({0, i + 1, i + 2});
  return mesh;
}

// A model file from a document and the body entries it names.
struct ModelBuilder {
  tools::DocumentDescription document;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;

  void AddFile(std::string name, std::vector<uint8_t> bytes) { files.emplace_back(std::move(name), std::move(bytes)); }

  std::vector<uint8_t> Write() const {
    tools::TzmWriter writer;
    writer.SetNodeDocument(tools::NodeDocumentJson(document));
    for (const auto& [name, bytes] : files) writer.AddFile(name, bytes);
    return writer.Write();
  }
};

// Two nodes under a root, each with one level of real geometry and the
// colour map `colorMap` holding `colorBytes`.
inline ModelBuilder TwoTexturedNodes(const std::string& colorMap, std::vector<uint8_t> colorBytes) {
  ModelBuilder builder;
  tools::LevelDescription level;
  level.geometry = "g";
  level.colorMap = colorMap;
  level.triangleCount = 20;
  builder.document.root = {{-1, 1, -1, 1, 0, 1},
                           4.0f,
                           {},
                           {{{-1, 0, -1, 1, 0, 1}, 2.0f, {level}, {}}, {{0, 1, -1, 1, 0, 1}, 2.0f, {level}, {}}}};
  builder.AddFile("g", tools::EncodeMesh(SmallMesh(3), {}).bytes);
  builder.AddFile(colorMap, std::move(colorBytes));
  return builder;
}

}  // namespace ovra::test
