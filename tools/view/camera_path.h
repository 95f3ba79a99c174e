#pragma once

#include <string>
#include <vector>

#include "view/view_math.h"

namespace ovra::view {

struct CameraPose {
  Vec3 position;
  Vec3 target;
};

// Where the camera is at each frame of a headless run.
class CameraPath {
 public:
  // "orbit" circles the model; "flythrough" flies in from afar over the first
  // 60 % of the frames and then rests, so that streaming can settle; anything
  // else is a file of key poses, one "x y z tx ty tz" line each, spread evenly
  // over the frames. Throws std::runtime_error for an unreadable file.
  static CameraPath Make(const std::string& kind, const Box& model, Vec3 up);

  CameraPose At(int frame, int frameCount) const;
  // The first frame from which the camera no longer moves.
  int RestFrame(int frameCount) const;

 private:
  std::vector<CameraPose> keys_;
  bool orbit_ = false;
  float moving_ = 1.0f;  // share of the frames spent moving
  Box model_;
  Vec3 up_;
};

// The axis the model stands on: the shortest side of a flat box, else +y.
Vec3 GuessUp(const Box& model);

}  // namespace ovra::view
