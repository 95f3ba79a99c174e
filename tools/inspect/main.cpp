// Prints what a tzm file holds and checks it with the player's own parsers.
//
// Usage: ovra-inspect [--decode] [--json] FILE.tzm
// Exit status: 0 for a sound file, 1 when anything is malformed, 2 for usage.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "inspect/model_report.h"

int main(int argc, char** argv) {
  bool decode = false;
  bool asJson = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--decode") {
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
    std::fprintf(stderr, "usage: %s [--decode] [--json] FILE.tzm\n", argv[0]);
    return 2;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "ovra-inspect: cannot open %s\n", path.c_str());
    return 1;
  }
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const ovra::tools::ModelReport report = ovra::tools::InspectModel(file, decode);
  if (asJson) {
    nlohmann::json out = report.json;
    out["problems"] = report.problems;
    std::puts(out.dump(2).c_str());
  } else {
    std::fputs(ovra::tools::ReportText(report).c_str(), stdout);
  }
  return report.problems.empty() ? 0 : 1;
}
