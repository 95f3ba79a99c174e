#include "tzm_writer/tzm_writer.h"

#include <cstdio>
#include <stdexcept>

#include "tzm_writer/zlib_compress.h"

namespace ovra::tools {

namespace {

constexpr const char* kCompressedSuffix = ".compressed";
constexpr size_t kPrefixSize = 16;
constexpr size_t kMaxHeaderSize = 9999999;

std::vector<uint8_t> AsBytes(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

void TzmWriter::SetNodeDocument(const nlohmann::json& document, std::string name, bool markCompressed) {
  // Names from source files may be in any encoding; invalid UTF-8 becomes U+FFFD.
  const std::string text = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  SetNodeDocumentBytes(CompressZlib(AsBytes(text)), std::move(name), markCompressed);
}

void TzmWriter::SetNodeDocumentBytes(std::vector<uint8_t> stored, std::string name, bool markCompressed) {
  document_.indexName = markCompressed ? name + kCompressedSuffix : name;
  document_.bytes = std::move(stored);
  hasDocument_ = true;
}

void TzmWriter::AddFile(std::string name, std::vector<uint8_t> bytes, bool markCompressed) {
  files_.push_back(Entry{markCompressed ? name + kCompressedSuffix : name, std::move(bytes)});
}

void TzmWriter::AddProperty(std::string key, std::string value) {
  properties_.emplace_back(std::move(key), std::move(value));
}

std::vector<const TzmWriter::Entry*> TzmWriter::OrderedEntries() const {
  std::vector<const Entry*> entries;
  if (hasDocument_) entries.push_back(&document_);
  for (const Entry& file : files_) entries.push_back(&file);
  return entries;
}

std::vector<uint8_t> TzmWriter::CompressedIndex() const {
  std::string text;
  uint64_t offset = 0;
  for (const Entry* entry : OrderedEntries()) {
    text += std::to_string(offset) + ";" + std::to_string(entry->bytes.size()) + ";" + entry->indexName + ";";
    offset += entry->bytes.size();
  }
  return CompressZlib(AsBytes(text));
}

std::string TzmWriter::HeaderText() const {
  uint64_t bodySize = 0;
  for (const Entry* entry : OrderedEntries()) bodySize += entry->bytes.size();
  std::string properties = "indexSize=" + std::to_string(CompressedIndex().size()) +
                           ";bodySize=" + std::to_string(bodySize) +
                           ";fileCount=" + std::to_string(OrderedEntries().size()) + ";";
  for (const auto& [key, value] : properties_) properties += key + "=" + value + ";";
  const size_t headerSize = kPrefixSize + properties.size();
  if (headerSize > kMaxHeaderSize) throw std::length_error("tzm header too long");
  char prefix[kPrefixSize + 1];
  std::snprintf(prefix, sizeof prefix, "v.00001;%07zu;", headerSize);
  return prefix + properties;
}

std::vector<uint8_t> TzmWriter::Write() const {
  std::vector<uint8_t> file = AsBytes(HeaderText());
  const std::vector<uint8_t> index = CompressedIndex();
  file.insert(file.end(), index.begin(), index.end());
  for (const Entry* entry : OrderedEntries()) {
    file.insert(file.end(), entry->bytes.begin(), entry->bytes.end());
  }
  return file;
}

uint64_t TzmWriter::EntryOffset(size_t index) const {
  uint64_t offset = HeaderText().size() + CompressedIndex().size();
  const auto entries = OrderedEntries();
  for (size_t i = 0; i < index && i < entries.size(); ++i) offset += entries[i]->bytes.size();
  return offset;
}

}  // namespace ovra::tools
