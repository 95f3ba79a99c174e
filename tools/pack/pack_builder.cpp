#include "pack/pack_builder.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>

#include "mesh_encoder/mesh_encoder.h"
#include "tzm_writer/node_description.h"
#include "tzm_writer/tzm_writer.h"

namespace ovra::tools::pack {

namespace {

constexpr size_t kMaxLevels = 4;

using TriangleIds = std::vector<uint32_t>;

cxm::Vec3f Centroid(const PackMesh& mesh, uint32_t triangle) {
  cxm::Vec3f sum;
  for (uint32_t k = 0; k < 3; ++k) {
    const cxm::Vec3f& p = mesh.vertices[mesh.indices[3 * triangle + k]].position;
    sum = {sum.x + p.x / 3, sum.y + p.y / 3, sum.z + p.z / 3};
  }
  return sum;
}

float Axis(const cxm::Vec3f& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

// The mesh made of the listed triangles, with only the vertices they use.
PackMesh Extract(const PackMesh& source, const TriangleIds& triangles) {
  PackMesh mesh;
  std::vector<uint32_t> remap(source.vertices.size(), std::numeric_limits<uint32_t>::max());
  for (uint32_t triangle : triangles) {
    for (uint32_t k = 0; k < 3; ++k) {
      const uint32_t vertex = source.indices[3 * triangle + k];
      if (remap[vertex] == std::numeric_limits<uint32_t>::max()) {
        remap[vertex] = static_cast<uint32_t>(mesh.vertices.size());
        mesh.vertices.push_back(source.vertices[vertex]);
      }
      mesh.indices.push_back(remap[vertex]);
    }
  }
  return mesh;
}

// Reorders for the vertex cache and drops unused vertices, which also makes
// the geometry streams smaller.
void Optimize(PackMesh& mesh) {
  meshopt_optimizeVertexCache(mesh.indices.data(), mesh.indices.data(), mesh.indices.size(), mesh.vertices.size());
  const size_t used = meshopt_optimizeVertexFetch(mesh.vertices.data(), mesh.indices.data(), mesh.indices.size(),
                                                  mesh.vertices.data(), mesh.vertices.size(), sizeof(PackVertex));
  mesh.vertices.resize(used);
}

size_t SimplifyInto(std::vector<uint32_t>& out, const PackMesh& mesh, size_t targetTriangles, unsigned options) {
  out.resize(mesh.indices.size());
  const size_t count =
      meshopt_simplify(out.data(), mesh.indices.data(), mesh.indices.size(), &mesh.vertices[0].position.x,
                       mesh.vertices.size(), sizeof(PackVertex), targetTriangles * 3, 1.0f, options, nullptr);
  out.resize(count);
  return count / 3;
}

bool Reduces(size_t from, size_t to) { return to * 10 <= from * 9; }

// About `targetTriangles` triangles; vertices on open borders stay where they
// are, so the neighbouring node's mesh still meets this one. A mesh whose
// edges do not pair up (inconsistent winding, a triangle soup) cannot be
// simplified even with free borders; it is simplified without regard to its
// topology instead, which may open cracks but still gives coarser levels.
// `sloppy` says so.
PackMesh Simplify(const PackMesh& mesh, size_t targetTriangles, bool& sloppy) {
  PackMesh simplified;
  simplified.vertices = mesh.vertices;
  const size_t triangles = mesh.TriangleCount();
  sloppy = false;
  if (!Reduces(triangles, SimplifyInto(simplified.indices, mesh, targetTriangles, meshopt_SimplifyLockBorder))) {
    std::vector<uint32_t> freeBorders;
    sloppy = !Reduces(triangles, SimplifyInto(freeBorders, mesh, targetTriangles, 0));
  }
  if (sloppy) {
    simplified.indices.resize(mesh.indices.size());
    const size_t count = meshopt_simplifySloppy(simplified.indices.data(), mesh.indices.data(), mesh.indices.size(),
                                                &mesh.vertices[0].position.x, mesh.vertices.size(), sizeof(PackVertex),
                                                targetTriangles * 3, 1.0f, nullptr);
    simplified.indices.resize(count);
  }
  Optimize(simplified);
  return simplified;
}

// One mesh of all `parts`, with vertices equal in every attribute merged, so
// that the seams between the parts close.
PackMesh Weld(const std::vector<const PackMesh*>& parts) {
  PackMesh merged;
  for (const PackMesh* part : parts) {
    const auto base = static_cast<uint32_t>(merged.vertices.size());
    merged.vertices.insert(merged.vertices.end(), part->vertices.begin(), part->vertices.end());
    for (uint32_t index : part->indices) merged.indices.push_back(base + index);
  }
  std::vector<uint32_t> remap(merged.vertices.size());
  const size_t unique = meshopt_generateVertexRemap(remap.data(), merged.indices.data(), merged.indices.size(),
                                                    merged.vertices.data(), merged.vertices.size(), sizeof(PackVertex));
  PackMesh welded;
  welded.vertices.resize(unique);
  welded.indices.resize(merged.indices.size());
  meshopt_remapVertexBuffer(welded.vertices.data(), merged.vertices.data(), merged.vertices.size(), sizeof(PackVertex),
                            remap.data());
  meshopt_remapIndexBuffer(welded.indices.data(), merged.indices.data(), merged.indices.size(), remap.data());
  Optimize(welded);
  return welded;
}

// Level 0 and its simplifications, each about a quarter of the one before,
// while simplifying still removes at least a tenth.
std::vector<PackMesh> LevelChain(PackMesh finest, size_t& sloppyLevels) {
  Optimize(finest);
  std::vector<PackMesh> levels;
  levels.push_back(std::move(finest));
  while (levels.size() < kMaxLevels) {
    const size_t triangles = levels.back().TriangleCount();
    bool sloppy = false;
    PackMesh coarser = Simplify(levels.back(), triangles / 4, sloppy);
    sloppyLevels += sloppy ? 1 : 0;
    if (coarser.TriangleCount() == 0 || !Reduces(triangles, coarser.TriangleCount())) break;
    levels.push_back(std::move(coarser));
  }
  return levels;
}

BoxDescription EmptyBox() {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  return {kInf, -kInf, kInf, -kInf, kInf, -kInf};
}

void Include(BoxDescription& box, const BoxDescription& other) {
  box = {std::min(box.minX, other.minX), std::max(box.maxX, other.maxX), std::min(box.minY, other.minY),
         std::max(box.maxY, other.maxY), std::min(box.minZ, other.minZ), std::max(box.maxZ, other.maxZ)};
}

BoxDescription BoundsOf(const PackMesh& mesh) {
  BoxDescription box = EmptyBox();
  for (const PackVertex& v : mesh.vertices) {
    Include(box, {v.position.x, v.position.x, v.position.y, v.position.y, v.position.z, v.position.z});
  }
  return box;
}

float SurfaceArea(const PackMesh& mesh) {
  double area = 0.0;
  for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
    const cxm::Vec3f& a = mesh.vertices[mesh.indices[i]].position;
    const cxm::Vec3f& b = mesh.vertices[mesh.indices[i + 1]].position;
    const cxm::Vec3f& c = mesh.vertices[mesh.indices[i + 2]].position;
    const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
    area += 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz);
  }
  return static_cast<float>(area);
}

// Builds the node tree of one material and writes its geometry entries.
class MaterialTreeBuilder {
 public:
  MaterialTreeBuilder(const SourceMaterial& material, const PackOptions& options, TzmWriter& writer, PackStats& stats,
                      size_t& nextNode)
      : material_(material), options_(options), writer_(writer), stats_(stats), nextNode_(nextNode) {}

  NodeDescription Build(const std::function<void(uint64_t)>& trianglesDone) {
    trianglesDone_ = trianglesDone;
    TriangleIds all(material_.geometry.TriangleCount());
    std::iota(all.begin(), all.end(), 0u);
    centroids_.reserve(all.size());
    for (uint32_t triangle : all) centroids_.push_back(Centroid(material_.geometry, triangle));
    return BuildNode(std::move(all), 0).node;
  }

 private:
  struct BuiltNode {
    NodeDescription node;
    PackMesh coarse;  // what the parent merges: level 1, or level 0 when alone
  };

  BuiltNode BuildNode(TriangleIds triangles, size_t depth) {
    if (triangles.size() <= options_.leafTriangles) {
      trianglesDone_(triangles.size());
      return Finish(Extract(material_.geometry, triangles), {}, depth);
    }
    std::vector<BuiltNode> children;
    for (TriangleIds& part : SplitIntoChildren(std::move(triangles))) {
      children.push_back(BuildNode(std::move(part), depth + 1));
    }
    std::vector<const PackMesh*> coarse;
    for (const BuiltNode& child : children) coarse.push_back(&child.coarse);
    return Finish(Weld(coarse), std::move(children), depth);
  }

  // Two halves, each halved again while above the leaf size.
  std::vector<TriangleIds> SplitIntoChildren(TriangleIds triangles) {
    std::vector<TriangleIds> parts;
    auto [low, high] = SplitInHalf(std::move(triangles));
    for (TriangleIds* half : {&low, &high}) {
      if (half->size() <= options_.leafTriangles) {
        parts.push_back(std::move(*half));
        continue;
      }
      auto [a, b] = SplitInHalf(std::move(*half));
      parts.push_back(std::move(a));
      parts.push_back(std::move(b));
    }
    return parts;
  }

  // At the median centroid along the axis where the centroids spread most.
  std::pair<TriangleIds, TriangleIds> SplitInHalf(TriangleIds triangles) const {
    BoxDescription box = EmptyBox();
    for (uint32_t t : triangles) {
      const cxm::Vec3f& c = centroids_[t];
      Include(box, {c.x, c.x, c.y, c.y, c.z, c.z});
    }
    const float spread[3] = {box.maxX - box.minX, box.maxY - box.minY, box.maxZ - box.minZ};
    const int axis = static_cast<int>(std::max_element(spread, spread + 3) - spread);
    const auto middle = triangles.begin() + static_cast<std::ptrdiff_t>(triangles.size() / 2);
    std::nth_element(triangles.begin(), middle, triangles.end(), [&](uint32_t a, uint32_t b) {
      const float ca = Axis(centroids_[a], axis);
      const float cb = Axis(centroids_[b], axis);
      return ca < cb || (ca == cb && a < b);
    });
    TriangleIds high(middle, triangles.end());
    triangles.erase(middle, triangles.end());
    return {std::move(triangles), std::move(high)};
  }

  BuiltNode Finish(PackMesh finest, std::vector<BuiltNode> children, size_t depth) {
    std::vector<PackMesh> levels = LevelChain(std::move(finest), stats_.levelsWithoutLockedBorders);
    NodeDescription node;
    node.box = BoundsOf(levels.front());
    for (const BuiltNode& child : children) Include(node.box, child.node.box);
    node.surfaceArea = SurfaceArea(levels.front());
    const std::string prefix = "geometry/n" + std::to_string(nextNode_++) + "_l";
    for (size_t level = 0; level < levels.size(); ++level) {
      node.levels.push_back(WriteLevel(levels[level], node.box, prefix + std::to_string(level)));
    }
    for (BuiltNode& child : children) node.children.push_back(std::move(child.node));
    CountNode(levels.front().TriangleCount(), levels.size(), depth);
    const size_t coarse = std::min<size_t>(1, levels.size() - 1);
    return {std::move(node), std::move(levels[coarse])};
  }

  LevelDescription WriteLevel(const PackMesh& mesh, const BoxDescription& box, const std::string& name) {
    MeshToEncode encode;
    for (const PackVertex& v : mesh.vertices) {
      encode.positions.push_back(v.position);
      encode.normals.push_back(v.normal);
      if (material_.hasColors) encode.colors.push_back(v.color);
    }
    if (material_.hasUvs) {
      encode.uvSets.emplace_back();
      for (const PackVertex& v : mesh.vertices) encode.uvSets.back().push_back(v.uv);
    }
    for (size_t i = 0; i < mesh.indices.size(); i += 3) {
      encode.triangles.push_back({mesh.indices[i], mesh.indices[i + 1], mesh.indices[i + 2]});
    }
    encode.colorsHaveAlpha = material_.hasColors;
    MeshEncodeOptions options;
    options.version = material_.hasColors ? 5 : 4;
    options.bounds = std::array<float, 6>{box.minX, box.maxX, box.minY, box.maxY, box.minZ, box.maxZ};
    options.axisBits = {options_.axisBits, options_.axisBits, options_.axisBits};
    std::vector<uint8_t> bytes = EncodeMesh(encode, options).bytes;
    stats_.geometryBytes += bytes.size();
    writer_.AddFile(name, std::move(bytes));

    LevelDescription level;
    level.geometry = name;
    level.material = material_.name;
    level.colorMap = material_.textures[kColor];
    level.normalMap = material_.textures[kNormal];
    level.metRoughMap = material_.textures[kMetalRoughness];
    level.occlusionMap = material_.textures[kOcclusion];
    level.emissiveMap = material_.textures[kEmissive];
    level.triangleCount = static_cast<int64_t>(mesh.TriangleCount());
    return level;
  }

  void CountNode(size_t levelZeroTriangles, size_t levels, size_t depth) {
    ++stats_.nodes;
    stats_.levels += levels;
    if (stats_.levelZeroTrianglesPerDepth.size() <= depth) stats_.levelZeroTrianglesPerDepth.resize(depth + 1);
    stats_.levelZeroTrianglesPerDepth[depth] += levelZeroTriangles;
  }

  const SourceMaterial& material_;
  const PackOptions& options_;
  TzmWriter& writer_;
  PackStats& stats_;
  size_t& nextNode_;
  std::vector<cxm::Vec3f> centroids_;
  std::function<void(uint64_t)> trianglesDone_;
};

}  // namespace

PackedModel PackScene(const SourceScene& scene, const PackOptions& options, const PackProgress& progress) {
  PackedModel packed;
  TzmWriter writer;
  uint64_t total = 0;
  for (const SourceMaterial& material : scene.materials) total += material.geometry.TriangleCount();
  uint64_t done = 0;
  auto trianglesDone = [&](uint64_t count) {
    done += count;
    if (progress) progress(done, total);
  };

  DocumentDescription document;
  document.root.box = EmptyBox();
  float area = 0.0f;
  size_t nextNode = 0;
  for (const SourceMaterial& material : scene.materials) {
    NodeDescription top = MaterialTreeBuilder(material, options, writer, packed.stats, nextNode).Build(trianglesDone);
    Include(document.root.box, top.box);
    area += top.surfaceArea.value_or(0.0f);
    document.root.children.push_back(std::move(top));
    document.materials[material.name] = material.json;
  }
  document.root.surfaceArea = area;
  for (const auto& [name, bytes] : scene.textures) {
    packed.stats.textureBytes += bytes.size();
    writer.AddFile(name, bytes);
  }
  writer.SetNodeDocument(NodeDocumentJson(document));
  packed.file = writer.Write();
  return packed;
}

}  // namespace ovra::tools::pack
