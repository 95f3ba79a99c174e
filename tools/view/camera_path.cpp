#include "view/camera_path.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ovra::view {

namespace {

std::vector<CameraPose> ReadKeys(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot read the camera path " + path);
  std::vector<CameraPose> keys;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    CameraPose pose;
    if (!(fields >> pose.position.x >> pose.position.y >> pose.position.z >> pose.target.x >> pose.target.y >>
          pose.target.z)) {
      throw std::runtime_error("camera path " + path + ": expected \"x y z tx ty tz\" in: " + line);
    }
    keys.push_back(pose);
  }
  if (keys.empty()) throw std::runtime_error("camera path " + path + " holds no pose");
  return keys;
}

// Any unit vector at a right angle to `up`.
Vec3 Sideways(Vec3 up) {
  const Vec3 other = std::fabs(up.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  return Normalize(Cross(up, other));
}

float SmoothStep(float t) { return t * t * (3.0f - 2.0f * t); }

}  // namespace

Vec3 GuessUp(const Box& model) {
  const Vec3 size = model.max - model.min;
  const float longest = std::max({size.x, size.y, size.z});
  if (size.z < 0.5f * longest && size.z <= size.x && size.z <= size.y) return {0, 0, 1};
  if (size.x < 0.5f * longest && size.x <= size.y) return {1, 0, 0};
  return {0, 1, 0};
}

CameraPath CameraPath::Make(const std::string& kind, const Box& model, Vec3 up) {
  CameraPath path;
  path.model_ = model;
  path.up_ = up;
  const Vec3 center = model.Center();
  const float radius = std::max(model.Radius(), 1e-3f);
  const Vec3 side = Sideways(up);
  if (kind == "orbit") {
    path.orbit_ = true;
  } else if (kind == "flythrough") {
    path.moving_ = 0.6f;
    path.keys_ = {{center + side * (2.5f * radius) + up * (1.2f * radius), center},
                  {center + side * (0.8f * radius) + up * (0.3f * radius), center - side * (0.2f * radius)}};
  } else {
    path.keys_ = ReadKeys(kind);
  }
  return path;
}

CameraPose CameraPath::At(int frame, int frameCount) const {
  const float progress = frameCount > 1 ? static_cast<float>(frame) / static_cast<float>(frameCount - 1) : 0.0f;
  if (orbit_) {
    const float angle = progress * 6.2831853f;
    const Vec3 side = Sideways(up_);
    const Vec3 other = Cross(up_, side);
    const float radius = std::max(model_.Radius(), 1e-3f);
    const Vec3 around = side * (1.6f * radius * std::cos(angle)) + other * (1.6f * radius * std::sin(angle));
    return {model_.Center() + around + up_ * (0.6f * radius), model_.Center()};
  }
  if (keys_.size() == 1) return keys_.front();
  const float t = std::min(1.0f, progress / moving_) * static_cast<float>(keys_.size() - 1);
  const size_t key = std::min(static_cast<size_t>(t), keys_.size() - 2);
  const float local = keys_.size() == 2 ? SmoothStep(t - static_cast<float>(key)) : t - static_cast<float>(key);
  return {Lerp(keys_[key].position, keys_[key + 1].position, local),
          Lerp(keys_[key].target, keys_[key + 1].target, local)};
}

int CameraPath::RestFrame(int frameCount) const {
  if (orbit_) return frameCount;
  return std::min(frameCount, static_cast<int>(std::ceil(moving_ * static_cast<float>(frameCount - 1))));
}

}  // namespace ovra::view
