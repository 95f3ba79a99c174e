#include "inspect/model_report.h"

#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include "content/mesh_decoder.h"
#include "content/texture_decoder.h"
#include "format/container.h"
#include "format/inflate.h"
#include "format/model_node.h"
#include "format/node_document.h"
#include "format/text_pieces.h"
#include "ovra/mesh_renderer.h"

namespace ovra::tools {

namespace {

using nlohmann::json;

// Keeps KTX2 textures as stored; the inspector only checks they open.
class KeepStoredRenderer final : public IMeshRenderer {
 public:
  void AddMesh(const Mesh&, int, int, const int*, size_t, VisualizationInfo, std::function<void()>) override {}
  void RemoveMesh(int) override {}
  void RemoveAllMeshes() override {}
  int SelectTranscodeFormat(int, int, int) override { return kKeepStoredFormat; }
};

json Box(const ModelNode& node) { return {node.minX, node.maxX, node.minY, node.maxY, node.minZ, node.maxZ}; }

json LevelJson(const ModelNodeLevel& level) {
  json out = {{"geometry", level.geometry}, {"triangles", level.triangleCount}};
  if (!level.material.empty()) out["material"] = level.material;
  static const std::pair<const char*, int> kMaps[] = {
      {"colorMap", kSlotColorMap},       {"colorMapAlpha", kSlotColorMapAlpha}, {"normalMap", kSlotNormalMap},
      {"metRoughMap", kSlotMetRoughMap}, {"occlusionMap", kSlotOcclusionMap},   {"emissiveMap", kSlotEmissiveMap},
      {"lightMap", kSlotLightMap}};
  for (const auto& [key, slot] : kMaps) {
    if (!LevelFileName(level, slot).empty()) out[key] = LevelFileName(level, slot);
  }
  return out;
}

json NodeJson(const ModelNode& node) {
  json out = {{"id", node.id}, {"depth", node.depth}, {"box", Box(node)}, {"surfaceArea", node.surfaceArea}};
  out["levels"] = json::array();
  for (const ModelNodeLevel& level : node.levels) out["levels"].push_back(LevelJson(level));
  out["children"] = json::array();
  for (const auto& child : node.children) out["children"].push_back(NodeJson(*child));
  return out;
}

json MaterialJson(const ModelMaterial& m) {
  return {{"albedo", {m.albedo.x, m.albedo.y, m.albedo.z, m.albedo.w}},
          {"metalness", m.metalness},
          {"roughness", m.roughness},
          {"normalScale", m.normalScale},
          {"occlusionScale", m.occlusionScale},
          {"emissiveScale", {m.emissiveScale.x, m.emissiveScale.y, m.emissiveScale.z}},
          {"alphaMode", m.alphaMode},
          {"alphaCutoff", m.alphaCutoff},
          {"doubleSided", m.doubleSided}};
}

class Inspector {
 public:
  Inspector(const std::vector<uint8_t>& file, ModelReport& report) : file_(file), report_(report) {}

  void Run(bool decode) {
    if (!ReadHeader() || !ReadIndex()) return;
    const ParsedNodeDocument document = ReadDocument();
    if (!document.root) return;
    report_.json["tree"] = NodeJson(*document.root);
    json materials = json::object();
    for (const auto& [name, material] : document.materials) materials[name] = MaterialJson(*material);
    report_.json["materials"] = materials;
    if (decode) DecodeContent(*document.root, document.materials);
  }

 private:
  void Problem(std::string text) { report_.problems.push_back(std::move(text)); }

  bool ReadHeader() {
    const int result = ParseContainerHeader(file_.data(), file_.size(), layout_);
    if (result != kHeaderComplete) {
      Problem(result == kHeaderWrongFormat ? "not a tzm file" : "the header is truncated or malformed");
      return false;
    }
    report_.json["header"] = {{"headerSize", layout_.headerSize},
                              {"indexSize", layout_.indexSize},
                              {"bodySize", layout_.bodySize},
                              {"fileCount", layout_.fileCount},
                              {"fileSize", file_.size()}};
    const std::string_view text(reinterpret_cast<const char*>(file_.data()) + kHeaderPrefixSize,
                                layout_.headerSize - kHeaderPrefixSize);
    json properties = json::object();
    for (std::string_view item : SplitPieces(text, ';')) {
      const size_t equals = item.find('=');
      properties[std::string(item.substr(0, equals))] =
          equals == std::string_view::npos ? "" : std::string(item.substr(equals + 1));
    }
    report_.json["properties"] = properties;
    return true;
  }

  bool ReadIndex() {
    if (layout_.headerSize + layout_.indexSize > file_.size()) {
      Problem("the index reaches past the end of the file");
      return false;
    }
    const std::span<const uint8_t> index(file_.data() + layout_.headerSize, layout_.indexSize);
    if (ParseContainerIndex(index, layout_) != kIndexParsed || layout_.files.empty()) {
      Problem("the index is malformed");
      return false;
    }
    BuildFilesByName(layout_);
    json entries = json::array();
    for (const ModelFileEntry& entry : layout_.files) {
      entries.push_back(
          {{"offset", entry.offset}, {"size", entry.size}, {"name", entry.name}, {"compressed", entry.compressed}});
      if (entry.offset + entry.size > file_.size())
        Problem("entry " + entry.name + " reaches past the end of the file");
    }
    report_.json["entries"] = entries;
    return true;
  }

  ParsedNodeDocument ReadDocument() {
    const ModelFileEntry& entry = layout_.files.front();
    if (entry.offset + entry.size > file_.size()) return {};
    const uint8_t* bytes = file_.data() + entry.offset;
    const std::vector<uint8_t> text = InflateZlib(bytes, entry.size);
    try {
      report_.json["version"] = json::parse(text.begin(), text.end()).value("version", "");
      ParsedNodeDocument document = ParseNodeDocument(nullptr, bytes, entry.size);
      if (!document.root) Problem("the node document is not a usable tree");
      // Not a fault of the file, but the player will not stream them.
      if (document.droppedLevels > 0) report_.json["levelsBeyondTheFourth"] = document.droppedLevels;
      return document;
    } catch (const std::exception& error) {
      Problem(std::string("the node document cannot be read: ") + error.what());
      return {};
    }
  }

  // The stored bytes of `name`, or null after reporting why there are none.
  const ModelFileEntry* Entry(const std::string& name) {
    const auto it = layout_.filesByName.find(name);
    if (it == layout_.filesByName.end()) {
      Problem("missing entry " + name);
      return nullptr;
    }
    if (it->second.offset + it->second.size > file_.size()) return nullptr;
    return &it->second;
  }

  std::vector<uint8_t> BytesOf(const ModelFileEntry& entry) const {
    const auto first = file_.begin() + static_cast<std::ptrdiff_t>(entry.offset);
    return std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(entry.size));
  }

  void DecodeContent(const ModelNode& root, const MaterialTable& materials) {
    size_t geometries = 0;
    std::set<std::string> textures;
    ForEachNode(root, [&](const ModelNode& node) {
      const float bounds[6] = {node.minX, node.maxX, node.minY, node.maxY, node.minZ, node.maxZ};
      for (const ModelNodeLevel& level : node.levels) {
        ++geometries;
        DecodeGeometry(level, bounds, GetMaterial(materials, level.material));
        for (int slot = kSlotColorMap; slot <= kSlotEmissiveMap; ++slot) {
          if (!LevelFileName(level, slot).empty()) textures.insert(LevelFileName(level, slot));
        }
      }
    });
    for (const std::string& name : textures) DecodeTextureEntry(name);
    report_.json["decoded"] = {{"geometries", geometries}, {"textures", textures.size()}};
  }

  void DecodeGeometry(const ModelNodeLevel& level, const float bounds[6], const ModelMaterial* material) {
    const ModelFileEntry* entry = Entry(level.geometry);
    if (entry == nullptr) return;
    MeshDecodeError error = MeshDecodeError::kNone;
    const cxm::Mesh mesh = DecodeMesh(file_.data() + entry->offset, entry->size, bounds, material, &error);
    if (error != MeshDecodeError::kNone) {
      Problem("geometry " + level.geometry + ": " + std::string(MeshDecodeErrorText(error)));
      return;
    }
    const size_t triangles = mesh.triangles ? mesh.triangles->size() : 0;
    if (static_cast<int64_t>(triangles) != level.triangleCount) {
      Problem("geometry " + level.geometry + " holds " + std::to_string(triangles) + " triangles, the tree says " +
              std::to_string(level.triangleCount));
    }
  }

  void DecodeTextureEntry(const std::string& name) {
    const ModelFileEntry* entry = Entry(name);
    if (entry == nullptr) return;
    KeepStoredRenderer renderer;
    const cxm::Texture texture = DecodeTexture(BytesOf(*entry), name, &renderer);
    if (texture.format == 0 || texture.pixels == nullptr || texture.pixels->empty()) {
      Problem("texture " + name + " does not decode");
    }
  }

  const std::vector<uint8_t>& file_;
  ModelReport& report_;
  ModelFileLayout layout_;
};

void AppendNodeText(const json& node, std::ostringstream& out) {
  const std::string indent(2 * node["depth"].get<size_t>(), ' ');
  out << indent << "node " << node["id"] << ": box " << Dump(node["box"]) << ", area " << node["surfaceArea"] << ", "
      << node["children"].size() << " children\n";
  for (size_t i = 0; i < node["levels"].size(); ++i) {
    const json& level = node["levels"][i];
    out << indent << "  level " << i << ": " << level["triangles"] << " triangles, "
        << level["geometry"].get<std::string>();
    if (level.contains("material")) out << ", material " << level["material"].get<std::string>();
    if (level.contains("colorMap")) out << ", colour " << level["colorMap"].get<std::string>();
    out << "\n";
  }
  for (const json& child : node["children"]) AppendNodeText(child, out);
}

}  // namespace

ModelReport InspectModel(const std::vector<uint8_t>& file, bool decode) {
  ModelReport report;
  Inspector(file, report).Run(decode);
  return report;
}

std::string Dump(const nlohmann::json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ReportText(const ModelReport& report) {
  const json& r = report.json;
  std::ostringstream out;
  if (r.contains("header")) {
    out << "header: " << Dump(r["header"]) << "\nproperties:";
    for (const auto& [key, value] : r["properties"].items()) out << " " << key << "=" << value.get<std::string>();
    out << "\n";
  }
  if (r.contains("entries")) {
    out << "entries (" << r["entries"].size() << "):\n";
    for (const json& entry : r["entries"]) {
      out << "  " << entry["name"].get<std::string>() << ": " << entry["size"] << " bytes at " << entry["offset"]
          << (entry["compressed"].get<bool>() ? ", compressed" : "") << "\n";
    }
  }
  if (r.contains("version")) out << "document version " << r["version"].get<std::string>() << "\n";
  if (r.contains("levelsBeyondTheFourth")) {
    out << r["levelsBeyondTheFourth"] << " levels beyond the fourth of their node are not streamed\n";
  }
  if (r.contains("tree")) {
    out << "tree:\n";
    AppendNodeText(r["tree"], out);
  }
  if (r.contains("materials")) {
    out << "materials:\n";
    for (const auto& [name, material] : r["materials"].items()) out << "  " << name << ": " << Dump(material) << "\n";
  }
  if (r.contains("decoded")) out << "decoded: " << Dump(r["decoded"]) << "\n";
  for (const std::string& problem : report.problems) out << "problem: " << problem << "\n";
  return out.str();
}

}  // namespace ovra::tools
