// ovra-view: streams a tzm model from a file or an http(s) URL into an
// OpenGL renderer, in a window or headless.
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "view/headless_run.h"
#include "view/window_run.h"

namespace {

constexpr const char* kUsage =
    "usage: ovra-view <model.tzm | http://host/model.tzm> [options]\n"
    "  --headless            render without a window (EGL), write pictures, stats.csv and plot.png\n"
    "  --camera-path P       orbit, flythrough (default) or a file of \"x y z tx ty tz\" lines\n"
    "  --frames N            frames to render headless (default 300)\n"
    "  --out DIR             output folder of a headless run (default ovra-view-out)\n"
    "  --size WxH            picture or window size (default 960x540)\n"
    "  --budget N            triangle budget (default 2000000)\n"
    "  --fps N               headless frame pacing, 0 for none (default 30)\n"
    "  --save-every N        save every Nth headless frame (default 30)\n"
    "  --help                this text\n";

struct Arguments {
  bool help = false;
  bool headless = false;
  ovra::view::HeadlessSettings headlessSettings;
};

int Number(const char* text) {
  const int value = std::stoi(text);
  if (value < 0) throw std::invalid_argument(text);
  return value;
}

Arguments Parse(int argc, char** argv) {
  Arguments arguments;
  ovra::view::HeadlessSettings& settings = arguments.headlessSettings;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--help" || option == "-h") {
      arguments.help = true;
      return arguments;
    } else if (option == "--headless") {
      arguments.headless = true;
    } else if (option.rfind("--", 0) == 0 && !hasValue) {
      throw std::invalid_argument(option + " needs a value");
    } else if (option == "--camera-path") {
      settings.cameraPath = argv[++i];
    } else if (option == "--frames") {
      settings.frames = std::max(1, Number(argv[++i]));
    } else if (option == "--out") {
      settings.outputDir = argv[++i];
    } else if (option == "--size") {
      if (std::sscanf(argv[++i], "%dx%d", &settings.width, &settings.height) != 2 || settings.width < 16 ||
          settings.height < 16) {
        throw std::invalid_argument("--size takes WxH, at least 16x16");
      }
    } else if (option == "--budget") {
      settings.session.triangleBudget = Number(argv[++i]);
    } else if (option == "--fps") {
      settings.framesPerSecond = Number(argv[++i]);
    } else if (option == "--save-every") {
      settings.saveEvery = std::max(1, Number(argv[++i]));
    } else if (option.rfind("--", 0) == 0 || !settings.session.source.empty()) {
      throw std::invalid_argument("unexpected argument " + option);
    } else {
      settings.session.source = option;
    }
  }
  if (settings.session.source.empty()) throw std::invalid_argument("no model given");
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  try {
    arguments = Parse(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ovra-view: %s\n%s", error.what(), kUsage);
    return 2;
  }
  if (arguments.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const ovra::view::HeadlessSettings& settings = arguments.headlessSettings;
  try {
    if (!arguments.headless) return ovra::view::RunWindowed(settings.session, settings.width, settings.height);
    const ovra::view::HeadlessResult result = ovra::view::RunHeadless(settings);
    std::printf("\n%s\nFrames:   %s/frames (%zu pictures, each also coloured by level)\nCSV:      %s\nPlot:     %s\n",
                ovra::view::FrameLog::SummaryTable(result.summary).c_str(), settings.outputDir.c_str(),
                result.saved.size(), result.csvPath.c_str(),
                result.plotPath.empty() ? "(none)" : result.plotPath.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ovra-view: %s\n", error.what());
    return 1;
  }
  return 0;
}
