#pragma once

#include <string>
#include <vector>

#include "view/frame_log.h"
#include "view/stream_session.h"

namespace ovra::view {

struct HeadlessSettings {
  SessionSettings session;
  std::string cameraPath = "flythrough";  // orbit, flythrough or a file of poses
  int frames = 300;
  std::string outputDir = "ovra-view-out";
  int width = 960;
  int height = 540;
  int framesPerSecond = 30;  // pacing, so that the camera moves at a steady speed
  int saveEvery = 30;        // the last frame is always saved
  float initTimeoutSeconds = 60.0f;
};

struct SavedFrame {
  int frame = 0;
  std::string material;  // PNG shaded with the model's materials
  std::string levels;    // PNG of the same frame coloured by level
};

struct HeadlessResult {
  FrameLog log;
  RunSummary summary;
  std::vector<SavedFrame> saved;
  std::string csvPath;
  std::string plotPath;  // empty when no plot could be made
};

// Streams the model along a camera path without a window: waits for the
// model's first meshes, then renders `frames` frames, saving pictures, the
// per-frame CSV and the plot in `outputDir`. Throws std::runtime_error when
// there is no GL context, the source cannot be opened or the model does not
// initialise in time.
HeadlessResult RunHeadless(const HeadlessSettings& settings);

}  // namespace ovra::view
