// Prints what a tzm file holds and checks it with the player's own parsers.
//
// Usage: ovra-inspect [--decode] [--json] FILE.tzm
// Exit status: 0 for a sound file, 1 when anything is malformed or the file
// cannot be read, 2 for usage.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "inspect/model_report.h"

namespace {

constexpr const char* kUsage =
    "usage: ovra-inspect [--decode] [--json] FILE.tzm\n"
    "  --decode  also decode every geometry and texture entry the tree names\n"
    "  --json    print the report as JSON\n"
    "  --help    this text\n";

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) throw std::runtime_error(std::strerror(EISDIR));
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::strerror(errno));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  bool decode = false;
  bool asJson = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--decode") {
      decode = true;
    } else if (arg == "--json") {
      asJson = true;
    } else if (path.empty() && !arg.empty() && arg[0] != '-') {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    const ovra::tools::ModelReport report = ovra::tools::InspectModel(ReadWholeFile(path), decode);
    if (asJson) {
      nlohmann::json out = report.json;
      out["problems"] = report.problems;
      std::puts(ovra::tools::Dump(out, 2).c_str());
    } else {
      std::fputs(ovra::tools::ReportText(report).c_str(), stdout);
    }
    return report.problems.empty() ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ovra-inspect: %s: %s\n", path.c_str(), error.what());
    return 1;
  }
}
