#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ovra::tools {

// What a tzm file holds, read through the player's own parsers.
struct ModelReport {
  // "header", "properties", "entries", "version", "tree" (nested nodes),
  // "materials", "levelsBeyondTheFourth" when a node has more levels than
  // are streamed; with decoding, "decoded" counts per kind.
  nlohmann::json json = nlohmann::json::object();
  // Every fault found; empty for a sound file.
  std::vector<std::string> problems;
};

// Reads `file`. With `decode`, also decodes every geometry and texture entry
// the tree names and reports those that fail or disagree with the tree.
ModelReport InspectModel(const std::vector<uint8_t>& file, bool decode);

// `value` as JSON text; bytes that are not UTF-8 (entry names may hold any)
// become U+FFFD.
std::string Dump(const nlohmann::json& value, int indent = -1);

// The report as indented text for people.
std::string ReportText(const ModelReport& report);

}  // namespace ovra::tools
