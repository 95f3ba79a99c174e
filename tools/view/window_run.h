#pragma once

#include "view/stream_session.h"

namespace ovra::view {

// Streams the model in a GLFW window with a fly camera: W, A, S, D (and Q, E
// for down and up) move, the mouse with the left button held looks around,
// Shift moves faster, L toggles colour by level, Escape quits. A line of
// statistics goes to the terminal once a second. Returns the exit code.
int RunWindowed(const SessionSettings& settings, int width, int height);

}  // namespace ovra::view
