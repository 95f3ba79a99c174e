#include "format/container.h"

#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "format/inflate.h"
#include "format/limits.h"
#include "format/text_pieces.h"

namespace ovra {

namespace {

constexpr std::string_view kFormatTag = "v.00001;";
constexpr std::string_view kCompressedSuffix = ".compressed";

std::string_view AsText(const uint8_t* bytes, size_t length) { return {reinterpret_cast<const char*>(bytes), length}; }

// key=value items; later definitions replace earlier ones, items without
// exactly two parts are ignored.
std::unordered_map<std::string_view, std::string_view> ParseProperties(std::string_view text) {
  std::unordered_map<std::string_view, std::string_view> properties;
  for (std::string_view item : SplitPieces(text, ';')) {
    const auto parts = SplitPieces(item, '=');
    if (parts.size() == 2) properties[parts[0]] = parts[1];
  }
  return properties;
}

uint64_t OptionalNumber(const std::unordered_map<std::string_view, std::string_view>& properties,
                        std::string_view key) {
  const auto it = properties.find(key);
  if (it == properties.end()) return 0;
  return ParseDecimal(it->second).value_or(0);
}

bool AddWouldOverflow(uint64_t a, uint64_t b) { return a > std::numeric_limits<uint64_t>::max() - b; }

std::optional<ModelFileEntry> ParseEntry(std::string_view offsetText, std::string_view sizeText, std::string_view name,
                                         uint64_t bodyStart) {
  const auto relativeOffset = ParseDecimal(offsetText);
  const auto size = ParseDecimal(sizeText);
  if (!relativeOffset || !size || AddWouldOverflow(*relativeOffset, bodyStart) ||
      AddWouldOverflow(*relativeOffset + bodyStart, *size)) {
    return std::nullopt;
  }
  ModelFileEntry entry;
  entry.offset = *relativeOffset + bodyStart;
  entry.size = *size;
  entry.compressed = name.ends_with(kCompressedSuffix);
  if (entry.compressed) name.remove_suffix(kCompressedSuffix.size());
  entry.name = std::string(name);
  return entry;
}

}  // namespace

int ParseContainerHeader(const uint8_t* bytes, size_t length, ModelFileLayout& layout) {
  if (length < kHeaderPrefixSize) return kHeaderNeedsMoreBytes;
  const std::string_view prefix = AsText(bytes, kHeaderPrefixSize);
  if (!prefix.starts_with(kFormatTag) || prefix[15] != ';') return kHeaderWrongFormat;
  const auto headerSize = ParseDecimal(prefix.substr(8, 7));
  if (!headerSize || *headerSize < kHeaderPrefixSize) return kHeaderMalformed;
  if (length < *headerSize) return kHeaderNeedsMoreBytes;

  const auto properties = ParseProperties(AsText(bytes + kHeaderPrefixSize, *headerSize - kHeaderPrefixSize));
  const auto indexText = properties.find("indexSize");
  if (indexText == properties.end()) return kHeaderMalformed;
  const auto indexSize = ParseDecimal(indexText->second);
  // The reader fetches up to headerSize + 3 * indexSize; the limit keeps
  // that a modest, representable range.
  if (!indexSize || *indexSize > kMaxIndexBytes) return kHeaderMalformed;
  layout.headerSize = *headerSize;
  layout.indexSize = *indexSize;
  layout.bodySize = OptionalNumber(properties, "bodySize");
  layout.fileCount = OptionalNumber(properties, "fileCount");
  return kHeaderComplete;
}

int ParseContainerIndex(std::span<const uint8_t> indexBytes, ModelFileLayout& layout) {
  if (layout.headerSize == 0) return kIndexRejected;
  if (indexBytes.size() < layout.indexSize) return kIndexNeedsMoreBytes;
  const std::vector<uint8_t> inflated = InflateZlib(indexBytes.data(), layout.indexSize, kMaxIndexTextBytes);
  const std::string_view text = AsText(inflated.data(), inflated.size());

  layout.files.clear();
  // Counted before anything is built: a small stream can inflate to tens of
  // millions of pieces.
  const size_t pieceCount = CountPieces(text, ';');
  if (pieceCount % 3 != 0 || pieceCount / 3 > kMaxIndexEntries) return kIndexRejected;
  layout.files.reserve(pieceCount / 3);
  const uint64_t bodyStart = layout.headerSize + layout.indexSize;
  PieceCursor cursor(text, ';');
  std::string_view offset, size, name;
  while (cursor.Next(offset) && cursor.Next(size) && cursor.Next(name)) {
    auto entry = ParseEntry(offset, size, name, bodyStart);
    if (!entry) {
      layout.files.clear();
      return kIndexRejected;
    }
    entry->index = layout.files.size();
    layout.files.push_back(std::move(*entry));
  }
  return kIndexParsed;
}

void BuildFilesByName(ModelFileLayout& layout) {
  layout.filesByName.clear();
  for (const ModelFileEntry& entry : layout.files) layout.filesByName[entry.name] = entry;
}

}  // namespace ovra
