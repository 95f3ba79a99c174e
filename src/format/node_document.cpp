#include "format/node_document.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "format/inflate.h"
#include "format/json_readers.h"
#include "format/limits.h"
#include "format/text_pieces.h"

namespace ovra {

namespace {

constexpr DocumentVersion kFirstVersionWithRealCounts{0, 0, 3};

// strtol semantics: leading white space and a sign, trailing text ignored;
// no digits or a value outside 32 bits reads 0.
int32_t VersionNumber(std::string_view piece) {
  const std::string text(piece);
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    return 0;
  }
  return static_cast<int32_t>(value);
}

const nlohmann::json* ArrayElement(const nlohmann::json& json, const char* key, size_t i) {
  const auto it = json.find(key);
  if (it == json.end() || !it->is_array() || i >= it->size()) return nullptr;
  return &(*it)[i];
}

std::string StringElement(const nlohmann::json& json, const char* key, size_t i) {
  const nlohmann::json* element = ArrayElement(json, key, i);
  return element && element->is_string() ? element->get<std::string>() : std::string();
}

int64_t TriangleCountElement(const nlohmann::json& json, size_t i) {
  const nlohmann::json* element = ArrayElement(json, "triangleCounts", i);
  if (!element || !element->is_number_integer()) return 0;
  const auto lowBits = element->is_number_unsigned() ? static_cast<uint32_t>(element->get<uint64_t>())
                                                     : static_cast<uint32_t>(element->get<int64_t>());
  return static_cast<int32_t>(lowBits);
}

float Bound(const nlohmann::json* box, const char* key) {
  if (box == nullptr || !box->is_object()) return 0.0f;
  const auto it = box->find(key);
  return it != box->end() && it->is_number() ? it->get<float>() : 0.0f;
}

void ReadBounds(ModelNode& node, const nlohmann::json& json) {
  const auto it = json.find("boundingBox");
  const nlohmann::json* box = it == json.end() ? nullptr : &*it;
  node.minX = Bound(box, "minX");
  node.maxX = Bound(box, "maxX");
  node.minY = Bound(box, "minY");
  node.maxY = Bound(box, "maxY");
  node.minZ = Bound(box, "minZ");
  node.maxZ = Bound(box, "maxZ");
}

MaterialTable ReadMaterials(const nlohmann::json& document) {
  MaterialTable materials;
  const auto it = document.find("materials");
  if (it == document.end()) return materials;
  for (const auto& member : it->items()) {
    auto material = std::make_unique<ModelMaterial>();
    ReadMaterial(member.value(), *material);
    materials[std::string(member.key())] = std::move(material);
  }
  return materials;
}

DocumentVersion ReadVersion(const nlohmann::json& document) {
  const auto it = document.find("version");
  if (it == document.end()) return {};
  return ParseDocumentVersion(it->get<std::string>());
}

int64_t LegacyTriangleCount(size_t level) {
  constexpr int64_t kFinestCount = 50000;
  return 2 * level < 63 ? kFinestCount >> (2 * level) : 0;
}

float BoxSurface(const ModelNode& node) {
  const float dx = node.maxX - node.minX;
  const float dy = node.maxY - node.minY;
  const float dz = node.maxZ - node.minZ;
  return (dx + dx) * dy + dy * (dz + dz) + dx * (dz + dz);
}

// Builds the document's JSON value like the library's own DOM parser, but
// stops as soon as the text nests deeper or holds more values than a
// document may, so that a small compressed text cannot make it build
// without bound. Syntax errors still throw the library's exceptions.
class BoundedDocumentBuilder {
 public:
  using Json = nlohmann::json;

  explicit BoundedDocumentBuilder(Json& result) : dom_(result) {}

  bool Exceeded() const { return exceeded_; }

  bool null() { return Value() && dom_.null(); }
  bool boolean(bool value) { return Value() && dom_.boolean(value); }
  bool number_integer(Json::number_integer_t value) { return Value() && dom_.number_integer(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return Value() && dom_.number_unsigned(value); }
  bool number_float(Json::number_float_t value, const Json::string_t& text) {
    return Value() && dom_.number_float(value, text);
  }
  bool string(Json::string_t& value) { return Value() && dom_.string(value); }
  bool binary(Json::binary_t& value) { return Value() && dom_.binary(value); }
  bool start_object(size_t size) { return Open() && dom_.start_object(size); }
  bool key(Json::string_t& value) { return dom_.key(value); }
  bool end_object() { return Close() && dom_.end_object(); }
  bool start_array(size_t size) { return Open() && dom_.start_array(size); }
  bool end_array() { return Close() && dom_.end_array(); }
  template <typename Exception>
  bool parse_error(size_t position, const std::string& token, const Exception& error) {
    return dom_.parse_error(position, token, error);
  }

 private:
  bool Value() {
    exceeded_ = exceeded_ || ++values_ > kMaxDocumentValues;
    return !exceeded_;
  }
  bool Open() {
    exceeded_ = exceeded_ || ++depth_ > kMaxDocumentDepth;
    return Value();
  }
  bool Close() {
    --depth_;
    return true;
  }

  nlohmann::detail::json_sax_dom_parser<Json> dom_;
  size_t values_ = 0;
  size_t depth_ = 0;
  bool exceeded_ = false;
};

// The document's JSON value, or nothing when it is larger or deeper than a
// document may be.
std::optional<nlohmann::json> ReadDocumentJson(const std::vector<uint8_t>& text) {
  nlohmann::json document;
  BoundedDocumentBuilder builder(document);
  if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder) || builder.Exceeded()) return std::nullopt;
  return document;
}

// Counts the nodes of the document before any is built, so that a small
// document cannot declare more nodes than memory holds.
bool HasAtMostNodes(const nlohmann::json& root, size_t limit) {
  size_t count = 0;
  std::vector<const nlohmann::json*> pending{&root};
  while (!pending.empty()) {
    const nlohmann::json& node = *pending.back();
    pending.pop_back();
    if (++count > limit) return false;
    if (!node.is_object()) continue;
    const auto children = node.find("children");
    if (children == node.end() || !children->is_array()) continue;
    for (const nlohmann::json& child : *children) pending.push_back(&child);
  }
  return true;
}

}  // namespace

DocumentVersion ParseDocumentVersion(const std::string& text) {
  const auto pieces = SplitPieces(text, '.');
  if (pieces.size() != 3) return {};
  return {VersionNumber(pieces[0]), VersionNumber(pieces[1]), VersionNumber(pieces[2])};
}

std::optional<ModelNodeLevel> ParseNodeLevel(const nlohmann::json& json, size_t i) {
  ModelNodeLevel level;
  level.geometry = StringElement(json, "geometry", i);
  if (level.geometry.empty()) return std::nullopt;
  level.material = StringElement(json, "material", i);
  level.colorMap = StringElement(json, "colorMap", i);
  level.colorMapAlpha = StringElement(json, "colorMapAlpha", i);
  level.emissiveMap = StringElement(json, "emissiveMap", i);
  level.metRoughMap = StringElement(json, "metRoughMap", i);
  level.normalMap = StringElement(json, "normalMap", i);
  level.occlusionMap = StringElement(json, "occlusionMap", i);
  level.lightMap = StringElement(json, "lightMap", i);
  level.triangleCount = TriangleCountElement(json, i);
  return level;
}

bool ParseNode(ModelNode& node, detail::ModelPimpl* model, const nlohmann::json& json, uint32_t depth,
               size_t* droppedLevels) {
  for (size_t i = 0;; ++i) {
    auto level = ParseNodeLevel(json, i);
    if (!level) break;
    if (i < kMaxStreamedLevels) {
      node.levels.push_back(std::move(*level));
    } else if (droppedLevels != nullptr) {
      ++*droppedLevels;
    }
  }
  ReadBounds(node, json);
  node.depth = depth;
  if (!json.is_object()) return true;
  if (const auto area = json.find("surfaceArea"); area != json.end()) {
    node.surfaceArea = ReadFloat(*area);
  }
  const auto children = json.find("children");
  if (children == json.end() || !children->is_array() || children->empty()) return true;
  if (depth >= kMaxNodeDepth) return false;
  node.children.reserve(children->size());
  for (const nlohmann::json& element : *children) {
    auto child = CreateModelNode(model);
    if (!ParseNode(*child, model, element, depth + 1, droppedLevels)) return false;
    child->parent = &node;
    node.children.push_back(std::move(child));
  }
  return true;
}

void ApplyLegacyDocumentRule(ModelNode& root) {
  root.surfaceArea = BoxSurface(root);
  ForEachNode(root, [](ModelNode& node) {
    for (size_t i = 0; i < node.levels.size(); ++i) {
      node.levels[i].triangleCount = LegacyTriangleCount(i);
    }
    const auto shares = static_cast<float>(node.children.size());
    for (auto& child : node.children) child->surfaceArea = node.surfaceArea / shares;
  });
}

ParsedNodeDocument ParseNodeDocument(detail::ModelPimpl* model, const uint8_t* bytes, size_t length) {
  const std::vector<uint8_t> text = InflateZlib(bytes, length, kMaxDocumentTextBytes);
  const std::optional<nlohmann::json> json = ReadDocumentJson(text);
  if (!json) return {};
  const nlohmann::json& document = *json;
  const DocumentVersion version = ReadVersion(document);
  if (!HasAtMostNodes(document, kMaxNodes)) return {};

  ParsedNodeDocument parsed;
  parsed.materials = ReadMaterials(document);
  auto root = CreateModelNode(model);
  if (!ParseNode(*root, model, document, 0, &parsed.droppedLevels)) return {};
  if (version < kFirstVersionWithRealCounts) ApplyLegacyDocumentRule(*root);
  parsed.root = std::move(root);
  return parsed;
}

}  // namespace ovra
