#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ovra::view {

// An OpenGL 3.3 core context without any window, through EGL (Mesa's
// surfaceless platform), drawing into an offscreen framebuffer.
class HeadlessContext {
 public:
  // Null, with the reason in `error`, when no such context can be made.
  static std::unique_ptr<HeadlessContext> Create(int width, int height, std::string* error);
  ~HeadlessContext();

  int Width() const { return width_; }
  int Height() const { return height_; }
  // RGB rows, top row first.
  std::vector<uint8_t> ReadPixels() const;

 private:
  HeadlessContext() = default;
  bool MakeFramebuffer();

  void* display_ = nullptr;
  void* context_ = nullptr;
  unsigned framebuffer_ = 0;
  unsigned renderbuffers_[2] = {};
  int width_ = 0;
  int height_ = 0;
};

}  // namespace ovra::view
