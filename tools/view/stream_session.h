#pragma once

#include <ovra/host/queued_data_source.h>
#include <ovra/ovra.h>

#include <chrono>
#include <memory>
#include <string>

#include "view/camera_path.h"
#include "view/frame_log.h"
#include "view/gl_program.h"
#include "view/gl_renderer.h"

namespace ovra::view {

struct SessionSettings {
  std::string source;  // a file path or an http(s) URL
  int32_t triangleBudget = 2000000;
  float distanceExponent = 1.0f;
  float verticalFieldOfView = 60.0f;
};

// One model streamed into the GL renderer: what a host does each frame, with
// the time spent inside the library measured apart from uploads and drawing.
//
// Threading: create, call and destroy on the thread that owns the GL context.
class StreamSession {
 public:
  // Null, with the reason in `error`, when the source cannot be opened.
  static std::unique_ptr<StreamSession> Open(const SessionSettings& settings, GlCapabilities capabilities,
                                             std::string* error);
  ~StreamSession();

  // Streams, shows and draws one frame into the bound framebuffer.
  FrameRecord Frame(const CameraPose& pose, float aspect, ShadingMode mode);
  // Draws again without streaming, for a second picture of the same frame.
  void Redraw(const CameraPose& pose, float aspect, ShadingMode mode) const;

  bool Initialized() const { return model_.InitializationComplete(); }
  // Why the model cannot be streamed (initialization failed, or the library
  // threw while reading it), naming the source; empty while all is well.
  // One session at a time watches the log for it.
  std::string Failure() const;
  const GlRenderer& Renderer() const { return renderer_; }
  uint64_t FileSize() const { return source_->FileSize(); }

 private:
  StreamSession(const SessionSettings& settings, std::unique_ptr<host::QueuedDataSource> source,
                GlCapabilities capabilities);
  void Draw(const CameraPose& pose, float aspect, ShadingMode mode) const;

  SessionSettings settings_;
  std::unique_ptr<host::QueuedDataSource> source_;
  GlRenderer renderer_;
  GlProgram program_;
  Model model_;
  StreamController controller_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  int frame_ = 0;
};

}  // namespace ovra::view
