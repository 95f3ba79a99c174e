#include "view/headless_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>

#include "view/gl.h"

namespace ovra::view {

namespace {

EGLDisplay OpenDisplay() {
  // Mesa's surfaceless platform needs neither X nor a GPU device node.
  const auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (getPlatformDisplay != nullptr) {
    const EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
  }
  const EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr)) return display;
  return EGL_NO_DISPLAY;
}

EGLContext CreateCoreContext(EGLDisplay display) {
  const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint configs = 0;
  if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs == 0) config = nullptr;
  const EGLint contextAttributes[] = {
      EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
      EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
  return eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
}

}  // namespace

std::unique_ptr<HeadlessContext> HeadlessContext::Create(int width, int height, std::string* error) {
  std::unique_ptr<HeadlessContext> context(new HeadlessContext());
  context->width_ = width;
  context->height_ = height;
  const EGLDisplay display = OpenDisplay();
  if (display == EGL_NO_DISPLAY) {
    *error = "EGL has no display (is Mesa's libegl-mesa0 installed?)";
    return nullptr;
  }
  context->display_ = display;
  if (!eglBindAPI(EGL_OPENGL_API)) {
    *error = "EGL cannot bind desktop OpenGL";
    return nullptr;
  }
  const EGLContext gl = CreateCoreContext(display);
  if (gl == EGL_NO_CONTEXT) {
    *error = "EGL cannot create an OpenGL 3.3 core context";
    return nullptr;
  }
  context->context_ = gl;
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl)) {
    *error = "EGL cannot make a context current without a surface";
    return nullptr;
  }
  if (!context->MakeFramebuffer()) {
    *error = "the offscreen framebuffer is incomplete";
    return nullptr;
  }
  return context;
}

bool HeadlessContext::MakeFramebuffer() {
  glGenFramebuffers(1, &framebuffer_);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glGenRenderbuffers(2, renderbuffers_);
  glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
  glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width_, height_);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
  glViewport(0, 0, width_, height_);
  return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

HeadlessContext::~HeadlessContext() {
  if (context_ != nullptr) {
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteRenderbuffers(2, renderbuffers_);
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
  }
  if (display_ != nullptr) eglTerminate(display_);
}

std::vector<uint8_t> HeadlessContext::ReadPixels() const {
  const size_t row = static_cast<size_t>(width_) * 3;
  std::vector<uint8_t> flipped(row * static_cast<size_t>(height_));
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, flipped.data());
  std::vector<uint8_t> pixels(flipped.size());
  for (int y = 0; y < height_; ++y) {
    std::copy_n(flipped.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(height_ - 1 - y)), row,
                pixels.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(y)));
  }
  return pixels;
}

}  // namespace ovra::view
