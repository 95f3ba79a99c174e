#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace ovra::tools {

// Writes a tzm container: header with properties, zlib-compressed index and
// the body entries in the order they were added. Entry 0 is always the node
// document.
class TzmWriter {
 public:
  // The node document, stored zlib-compressed as entry 0 under `name`.
  void SetNodeDocument(const nlohmann::json& document, std::string name = "nodes", bool markCompressed = true);
  // Entry 0 stored exactly as given, for documents that are not valid JSON
  // or not compressed.
  void SetNodeDocumentBytes(std::vector<uint8_t> stored, std::string name = "nodes", bool markCompressed = true);
  // A body entry stored exactly as given; `markCompressed` appends the
  // ".compressed" suffix to its index name.
  void AddFile(std::string name, std::vector<uint8_t> bytes, bool markCompressed = false);
  // An extra header property, written after the standard ones.
  void AddProperty(std::string key, std::string value);

  // The whole file. Throws std::length_error when the header outgrows the
  // 7-digit length field.
  std::vector<uint8_t> Write() const;

  // Absolute offset of entry `index` in the file Write() produces.
  uint64_t EntryOffset(size_t index) const;

 private:
  struct Entry {
    std::string indexName;
    std::vector<uint8_t> bytes;
  };

  std::vector<uint8_t> CompressedIndex() const;
  std::string HeaderText() const;
  std::vector<const Entry*> OrderedEntries() const;

  Entry document_;
  bool hasDocument_ = false;
  std::vector<Entry> files_;
  std::vector<std::pair<std::string, std::string>> properties_;
};

}  // namespace ovra::tools
