#pragma once

// The library is built with hidden symbol visibility; only what carries
// OVRA_API is part of the shared object's interface.
#if defined(_WIN32)
#if defined(OVRA_PLAYER_BUILDING)
#define OVRA_API __declspec(dllexport)
#else
#define OVRA_API __declspec(dllimport)
#endif
#else
#define OVRA_API __attribute__((visibility("default")))
#endif
