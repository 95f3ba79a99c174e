// Packs 3D models that assimp reads (glTF, OBJ, PLY, FBX and others) into one
// streamable tzm file.
//
// Usage: ovra-pack [--leaf-triangles N] [--axis-bits N] [--quiet] [--help] -o OUT.tzm INPUT...
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "inspect/model_report.h"
#include "pack/file_output.h"
#include "pack/pack_builder.h"
#include "pack/source_scene.h"

namespace {

namespace pack = ovra::tools::pack;

struct Arguments {
  std::vector<std::filesystem::path> inputs;
  std::filesystem::path output;
  pack::PackOptions options;
  bool quiet = false;
};

// To stdout with status 0 when asked for, else to stderr with status 2.
[[noreturn]] void Usage(const char* program, bool asked = false) {
  std::fprintf(asked ? stdout : stderr,
               "usage: %s [--leaf-triangles N] [--axis-bits N] [--quiet] -o OUT.tzm INPUT...\n"
               "  --leaf-triangles N  largest triangle count of a node's full detail (default 20000)\n"
               "  --axis-bits N       position bits per axis, 1 to 16 (default 16)\n"
               "  --quiet             no progress bar and no summary\n"
               "  --help              this text\n",
               program);
  std::exit(asked ? 0 : 2);
}

Arguments Parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(argv[0]);
      return argv[++i];
    };
    try {
      if (arg == "-o") {
        arguments.output = value();
      } else if (arg == "--leaf-triangles") {
        arguments.options.leafTriangles = std::stoul(value());
      } else if (arg == "--axis-bits") {
        arguments.options.axisBits = static_cast<uint32_t>(std::stoul(value()));
      } else if (arg == "--quiet") {
        arguments.quiet = true;
      } else if (arg == "--help" || arg == "-h") {
        Usage(argv[0], true);
      } else if (!arg.empty() && arg[0] == '-') {
        Usage(argv[0]);
      } else {
        arguments.inputs.emplace_back(arg);
      }
    } catch (const std::logic_error&) {
      Usage(argv[0]);
    }
  }
  const uint32_t bits = arguments.options.axisBits;
  if (arguments.inputs.empty() || arguments.output.empty() || arguments.options.leafTriangles < 64 || bits < 1 ||
      bits > 16) {
    Usage(argv[0]);
  }
  return arguments;
}

// A bar on standard error, redrawn in place when it is a terminal.
pack::PackProgress ProgressBar(bool quiet) {
  if (quiet || !::isatty(STDERR_FILENO)) return {};
  return [shown = -1](uint64_t done, uint64_t total) mutable {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent == shown) return;
    shown = percent;
    const std::string bar(static_cast<size_t>(percent / 4), '#');
    std::fprintf(stderr, "\r[%-25s] %3d%% of %llu triangles", bar.c_str(), percent,
                 static_cast<unsigned long long>(total));
    if (done == total) std::fputc('\n', stderr);
  };
}

void PrintSummary(const Arguments& arguments, const pack::PackedModel& packed, double seconds) {
  const pack::PackStats& stats = packed.stats;
  std::printf("wrote %s: %zu bytes in %.2f s\n", arguments.output.string().c_str(), packed.file.size(), seconds);
  std::printf("  %zu nodes, %zu levels\n", stats.nodes, stats.levels);
  for (size_t depth = 0; depth < stats.levelZeroTrianglesPerDepth.size(); ++depth) {
    std::printf("  depth %zu: %llu triangles at level 0\n", depth + 1,
                static_cast<unsigned long long>(stats.levelZeroTrianglesPerDepth[depth]));
  }
  if (stats.levelsWithoutLockedBorders > 0) {
    std::printf("  %zu levels simplified without locked borders (their source edges do not pair up)\n",
                stats.levelsWithoutLockedBorders);
  }
  std::printf("  geometry %llu bytes, textures %llu bytes\n", static_cast<unsigned long long>(stats.geometryBytes),
              static_cast<unsigned long long>(stats.textureBytes));
}

// A file the player's own parsers reject is never written.
void RefuseUnreadableOutput(const std::filesystem::path& output, const std::vector<uint8_t>& file) {
  const ovra::tools::ModelReport report = ovra::tools::InspectModel(file, false);
  if (!report.problems.empty()) {
    throw std::runtime_error("not writing " + output.string() +
                             ", which the player could not read: " + report.problems.front());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = Parse(argc, argv);
  const auto start = std::chrono::steady_clock::now();
  try {
    ovra::tools::RefuseToOverwriteInputs(arguments.output, arguments.inputs);
    const pack::SourceScene scene = pack::LoadSourceScenes(arguments.inputs);
    for (const std::string& warning : scene.warnings) std::fprintf(stderr, "ovra-pack: warning: %s\n", warning.c_str());
    const pack::PackedModel packed = pack::PackScene(scene, arguments.options, ProgressBar(arguments.quiet));
    RefuseUnreadableOutput(arguments.output, packed.file);
    ovra::tools::WriteFileAtomically(arguments.output, packed.file);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!arguments.quiet) PrintSummary(arguments, packed, elapsed.count());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ovra-pack: %s\n", error.what());
    return 1;
  }
  return 0;
}
