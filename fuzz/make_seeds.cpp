// Writes small valid inputs for every fuzz target into <dir>/<target>/, made
// with the project's own writer and encoder.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mesh_encoder/mesh_encoder.h"
#include "tzm_writer/node_description.h"
#include "tzm_writer/tzm_writer.h"

namespace {

namespace fs = std::filesystem;

void Save(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<std::streamsize>(bytes.size()));
}

ovra::tools::MeshToEncode Fan(uint32_t triangles, bool colors) {
  ovra::tools::MeshToEncode mesh;
  mesh.uvSets.resize(1);
  for (uint32_t i = 0; i < triangles + 2; ++i) {
    const float f = static_cast<float>(i);
    mesh.positions.push_back({f, f * 0.5f, static_cast<float>(i % 3)});
    mesh.normals.push_back({0.0f, static_cast<float>(i % 2), 1.0f});
    mesh.uvSets[0].push_back({f / 10.0f, 1.0f - f / 20.0f});
    if (colors) mesh.colors.push_back({0.5f, 0.25f, 1.0f, 0.75f});
  }
  mesh.colorsHaveAlpha = colors;
  for (uint32_t i = 0; i < triangles; ++i) mesh.triangles.push_back({0, i + 1, i + 2});
  return mesh;
}

ovra::tools::DocumentDescription Document() {
  ovra::tools::DocumentDescription document;
  ovra::tools::LevelDescription level;
  level.geometry = "g0";
  level.material = "m";
  level.colorMap = "c.png";
  level.triangleCount = 8;
  document.root.box = {-1, 1, -1, 1, 0, 1};
  document.root.children = {{{-1, 0, -1, 1, 0, 1}, 2.0f, {level}, {}}, {{0, 1, -1, 1, 0, 1}, 2.0f, {level}, {}}};
  document.materials = {{"m", {{"roughness", 0.5}, {"albedo", {{"x", 1}}}, {"alphaMode", 1}}}};
  return document;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const fs::path root = argv[1];
  for (int version = -1; version <= 5; ++version) {
    ovra::tools::MeshEncodeOptions options;
    options.version = version;
    options.maxBlockVertices = 6;
    const auto mesh = Fan(8, version == 5);
    Save(root / "mesh_decoder", "v" + std::to_string(version + 1), ovra::tools::EncodeMesh(mesh, options).bytes);
  }
  const nlohmann::json document = ovra::tools::NodeDocumentJson(Document());
  const std::string text = document.dump();
  Save(root / "node_document", "tree", std::vector<uint8_t>(text.begin(), text.end()));
  ovra::tools::TzmWriter writer;
  writer.SetNodeDocument(document);
  writer.AddFile("g0", ovra::tools::EncodeMesh(Fan(8, false), {}).bytes);
  Save(root / "container", "model", writer.Write());
  return 0;
}
