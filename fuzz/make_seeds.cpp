// Writes small valid inputs for every fuzz target into <dir>/<target>/, made
// with the project's own writer and encoder.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <stb/stb_image_write.h>

#include "mesh_encoder/mesh_encoder.h"
#include "sample_model/terrain_model.h"
#include "tzm_writer/node_description.h"
#include "tzm_writer/tzm_writer.h"

namespace {

namespace fs = std::filesystem;

void Save(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
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

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// A small image file behind the byte that makes the texture target read it
// as an image.
std::vector<uint8_t> ImageSeed(int channels, bool jpeg) {
  std::vector<uint8_t> pixels(static_cast<size_t>(6 * 5 * channels));
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37);
  std::vector<uint8_t> file{0};
  if (jpeg) {
    stbi_write_jpg_to_func(AppendBytes, &file, 6, 5, channels, pixels.data(), 80);
  } else {
    stbi_write_png_to_func(AppendBytes, &file, 6, 5, channels, pixels.data(), 6 * channels);
  }
  return file;
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
  const std::vector<uint8_t> model = writer.Write();
  Save(root / "container", "model", model);
  Save(root / "model", "small", model);
  ovra::tools::TerrainOptions terrain;
  terrain.depth = 1;
  terrain.finestCells = 2;
  Save(root / "model", "terrain", ovra::tools::WriteTerrainModel(terrain));
  for (int channels = 1; channels <= 4; ++channels) {
    Save(root / "texture_decoder", "png" + std::to_string(channels), ImageSeed(channels, false));
  }
  Save(root / "texture_decoder", "jpeg", ImageSeed(3, true));
  return 0;
}
