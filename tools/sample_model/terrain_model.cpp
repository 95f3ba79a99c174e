#include "sample_model/terrain_model.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "mesh_encoder/mesh_encoder.h"
#include "tzm_writer/node_description.h"
#include "tzm_writer/tzm_writer.h"

namespace ovra::tools {

namespace {

constexpr int kLevels = 3;

float Height(float x, float y) { return 4.0f + 3.0f * std::sin(x * 0.08f) * std::cos(y * 0.06f); }

// A grid of `cells` x `cells` quads over the tile's ground rectangle.
MeshToEncode TerrainGrid(const BoxDescription& box, int cells) {
  MeshToEncode mesh;
  mesh.uvSets.resize(1);
  const int side = cells + 1;
  for (int row = 0; row < side; ++row) {
    for (int column = 0; column < side; ++column) {
      const float u = static_cast<float>(column) / static_cast<float>(cells);
      const float v = static_cast<float>(row) / static_cast<float>(cells);
      const float x = box.minX + (box.maxX - box.minX) * u;
      const float y = box.minY + (box.maxY - box.minY) * v;
      const float step = 0.5f;
      mesh.positions.push_back({x, y, Height(x, y)});
      mesh.normals.push_back(
          {Height(x - step, y) - Height(x + step, y), Height(x, y - step) - Height(x, y + step), 2 * step});
      mesh.uvSets[0].push_back({u, v});
    }
  }
  for (int row = 0; row < cells; ++row) {
    for (int column = 0; column < cells; ++column) {
      const auto corner = static_cast<uint32_t>(row * side + column);
      const auto up = corner + static_cast<uint32_t>(side);
      mesh.triangles.push_back({corner, corner + 1, up});
      mesh.triangles.push_back({corner + 1, up + 1, up});
    }
  }
  return mesh;
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

std::vector<uint8_t> Image(int size, int channels, int seed, bool jpeg) {
  std::vector<uint8_t> pixels(static_cast<size_t>(size * size * channels));
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      for (int c = 0; c < channels; ++c) {
        pixels[static_cast<size_t>((y * size + x) * channels + c)] =
            static_cast<uint8_t>((x * 255 / size + c * 60 + seed * 37 + (y * 255 / size) * (c % 2)) % 256);
      }
    }
  }
  std::vector<uint8_t> file;
  if (jpeg) {
    stbi_write_jpg_to_func(AppendBytes, &file, size, size, channels, pixels.data(), 90);
  } else {
    stbi_write_png_to_func(AppendBytes, &file, size, size, channels, pixels.data(), size * channels);
  }
  return file;
}

float SurfaceArea(const MeshToEncode& mesh) {
  float area = 0.0f;
  for (const cxm::Vec3u& t : mesh.triangles) {
    const auto& a = mesh.positions[t.a];
    const auto& b = mesh.positions[t.b];
    const auto& c = mesh.positions[t.c];
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const float cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
    area += 0.5f * std::sqrt(cx * cx + cy * cy + cz * cz);
  }
  return area;
}

NodeDescription Tile(TzmWriter& writer, BoxDescription box, const std::string& path, int depth,
                     const TerrainOptions& options) {
  NodeDescription node;
  box.minZ = 0.0f;
  box.maxZ = 8.0f;
  node.box = box;
  const std::string prefix = "tile" + path;
  if (options.textures) {
    writer.AddFile(prefix + "_color.png", Image(64, 3, static_cast<int>(path.size()) + depth, false));
    writer.AddFile(prefix + "_normal.jpg", Image(32, 3, 7, true));
    writer.AddFile(prefix + "_mr.png", Image(16, 4, 3, false));
  }
  for (int level = 0; level < kLevels; ++level) {
    const auto mesh = TerrainGrid(box, std::max(1, options.finestCells >> level));
    const std::string name = prefix + "_L" + std::to_string(level) + ".mesh";
    MeshEncodeOptions encoding;
    encoding.axisBits = {14, 14, 12};
    writer.AddFile(name, EncodeMesh(mesh, encoding).bytes);
    LevelDescription record;
    record.geometry = name;
    record.material = "ground";
    if (options.textures) {
      record.colorMap = prefix + "_color.png";
      record.normalMap = prefix + "_normal.jpg";
      record.metRoughMap = prefix + "_mr.png";
      record.occlusionMap = prefix + "_mr.png";
    }
    record.triangleCount = static_cast<int64_t>(mesh.triangles.size());
    node.levels.push_back(record);
    if (level == 0) node.surfaceArea = SurfaceArea(mesh);
  }
  if (depth < options.depth) {
    const float midX = (box.minX + box.maxX) / 2;
    const float midY = (box.minY + box.maxY) / 2;
    const BoxDescription quarters[4] = {{box.minX, midX, box.minY, midY, 0, 0},
                                        {midX, box.maxX, box.minY, midY, 0, 0},
                                        {box.minX, midX, midY, box.maxY, 0, 0},
                                        {midX, box.maxX, midY, box.maxY, 0, 0}};
    for (int q = 0; q < 4; ++q) {
      node.children.push_back(Tile(writer, quarters[q], path + std::to_string(q), depth + 1, options));
    }
  }
  return node;
}

}  // namespace

std::vector<uint8_t> WriteTerrainModel(const TerrainOptions& options) {
  TzmWriter writer;
  DocumentDescription document;
  document.materials = {
      {"ground",
       {{"albedo", {{"x", 0.9}, {"y", 0.85}, {"z", 0.8}, {"w", 1}}}, {"roughness", 0.8}, {"metalness", 0.0}}}};
  document.root = Tile(writer, {-64, 64, -64, 64, 0, 8}, "", 0, options);
  writer.SetNodeDocument(NodeDocumentJson(document));
  return writer.Write();
}

}  // namespace ovra::tools
