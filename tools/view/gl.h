#pragma once

// Core-profile OpenGL, called straight through libOpenGL (glvnd exports every
// core entry point), so no loader is needed.
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/glcorearb.h>
#include <GL/glext.h>
