#include "view/window_run.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ovra::view {

namespace {

// Two horizontal axes at right angles to `up`.
struct Horizon {
  Vec3 east;
  Vec3 north;

  explicit Horizon(Vec3 up) {
    const Vec3 side = std::fabs(up.x) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    east = Normalize(Cross(side, up));
    north = Cross(up, east);
  }
};

// Yaw and pitch around the up axis, moved by the keyboard and the mouse.
struct FlyCamera {
  Vec3 position;
  Vec3 up;
  float yaw = 0.0f;
  float pitch = 0.0f;
  float speed = 1.0f;  // model units per second

  Vec3 Forward() const {
    const Horizon horizon(up);
    const Vec3 flat = horizon.east * std::cos(yaw) + horizon.north * std::sin(yaw);
    return Normalize(flat * std::cos(pitch) + up * std::sin(pitch));
  }

  void Move(GLFWwindow* window, float seconds) {
    const Vec3 forward = Forward();
    const Vec3 right = Normalize(Cross(forward, up));
    const float step = speed * seconds * (glfwGetKey(window, GLFW_KEY_LEFT_SHIFT) == GLFW_PRESS ? 5.0f : 1.0f);
    const auto held = [window](int key) { return glfwGetKey(window, key) == GLFW_PRESS ? 1.0f : 0.0f; };
    position = position + forward * (step * (held(GLFW_KEY_W) - held(GLFW_KEY_S))) +
               right * (step * (held(GLFW_KEY_D) - held(GLFW_KEY_A))) +
               up * (step * (held(GLFW_KEY_E) - held(GLFW_KEY_Q)));
  }

  void Look(float dx, float dy) {
    yaw -= dx * 0.004f;
    pitch = std::clamp(pitch - dy * 0.004f, -1.5f, 1.5f);
  }

  // Looking at the model from outside it.
  static FlyCamera Facing(const Box& model) {
    FlyCamera camera;
    camera.up = GuessUp(model);
    const Vec3 forward = Normalize(Vec3{1, 1, 1} - camera.up * Dot(Vec3{1, 1, 1}, camera.up));
    camera.position = model.Center() - forward * (2.0f * model.Radius()) + camera.up * model.Radius();
    const Vec3 toCenter = Normalize(model.Center() - camera.position);
    const Horizon horizon(camera.up);
    camera.yaw = std::atan2(Dot(toCenter, horizon.north), Dot(toCenter, horizon.east));
    camera.pitch = std::asin(std::clamp(Dot(toCenter, camera.up), -1.0f, 1.0f));
    camera.speed = std::max(model.Radius() * 0.3f, 0.01f);
    return camera;
  }
};

void PrintStatistics(const FrameRecord& record) {
  std::printf(
      "\r%8llu triangles  %llu pending  cache hits/misses %llu/%llu  %.1f MB requested in %llu requests  "
      "frame %.1f ms   ",
      static_cast<unsigned long long>(record.displayedTriangles),
      static_cast<unsigned long long>(record.pendingOperations), static_cast<unsigned long long>(record.cacheHits),
      static_cast<unsigned long long>(record.cacheMisses), static_cast<double>(record.bytesRequested) / 1e6,
      static_cast<unsigned long long>(record.requests), record.libraryMs + record.uploadMs + record.drawMs);
  std::fflush(stdout);
}

}  // namespace

int RunWindowed(const SessionSettings& settings, int width, int height) {
  if (!glfwInit()) {
    std::fprintf(stderr, "ovra-view: no display for a window (try --headless)\n");
    return 1;
  }
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
  GLFWwindow* window = glfwCreateWindow(width, height, "ovra-view", nullptr, nullptr);
  if (window == nullptr) {
    std::fprintf(stderr, "ovra-view: cannot open an OpenGL 3.3 window\n");
    glfwTerminate();
    return 1;
  }
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);
  int exitCode = 0;
  {
    std::string error;
    std::unique_ptr<StreamSession> session = StreamSession::Open(settings, GlCapabilities::OfCurrentContext(), &error);
    if (session == nullptr) {
      std::fprintf(stderr, "ovra-view: %s\n", error.c_str());
      exitCode = 1;
    }
    FlyCamera camera;
    bool placed = false;
    ShadingMode mode = ShadingMode::kMaterial;
    bool levelKeyDown = false;
    double lastX = 0, lastY = 0, lastPrint = 0, lastFrame = glfwGetTime();
    glfwGetCursorPos(window, &lastX, &lastY);
    while (session != nullptr && !glfwWindowShouldClose(window) && glfwGetKey(window, GLFW_KEY_ESCAPE) != GLFW_PRESS) {
      const double now = glfwGetTime();
      if (!placed && session->Initialized()) {
        camera = FlyCamera::Facing(session->Renderer().Bounds());
        placed = true;
      }
      double x = 0, y = 0;
      glfwGetCursorPos(window, &x, &y);
      if (glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_LEFT) == GLFW_PRESS) {
        camera.Look(static_cast<float>(x - lastX), static_cast<float>(y - lastY));
      }
      lastX = x;
      lastY = y;
      const bool levelKey = glfwGetKey(window, GLFW_KEY_L) == GLFW_PRESS;
      if (levelKey && !levelKeyDown)
        mode = mode == ShadingMode::kLevels ? ShadingMode::kMaterial : ShadingMode::kLevels;
      levelKeyDown = levelKey;
      camera.Move(window, static_cast<float>(now - lastFrame));
      lastFrame = now;

      int framebufferWidth = 0, framebufferHeight = 0;
      glfwGetFramebufferSize(window, &framebufferWidth, &framebufferHeight);
      glViewport(0, 0, framebufferWidth, framebufferHeight);
      const float aspect =
          framebufferHeight > 0 ? static_cast<float>(framebufferWidth) / static_cast<float>(framebufferHeight) : 1.0f;
      const CameraPose pose{camera.position, camera.position + camera.Forward()};
      const FrameRecord record = session->Frame(placed ? pose : CameraPose{{0, 0, 1e4f}, {0, 0, 0}}, aspect, mode);
      if (const std::string failure = session->Failure(); !failure.empty()) {
        std::fprintf(stderr, "ovra-view: %s\n", failure.c_str());
        exitCode = 1;
        break;
      }
      if (now - lastPrint >= 1.0) {
        PrintStatistics(record);
        lastPrint = now;
      }
      glfwSwapBuffers(window);
      glfwPollEvents();
    }
    std::printf("\n");
  }
  glfwDestroyWindow(window);
  glfwTerminate();
  return exitCode;
}

}  // namespace ovra::view
