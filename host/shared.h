// The host's records that the census, the renderer and the sound cue read: the
// screen as measured at start-up, the desktop and overlay handles, the latest pass
// length and the ray phase. Records only; overlay.cpp, clock.cpp and watch.cpp
// define them and are the only ones that write them.
#pragma once

#include <windows.h>

#include <cstdint>

// Measured once at start-up and never again; written before the worker starts.
struct ScreenGeometry {
    int32_t x;              // virtual screen's left edge, screen pixels
    int32_t y;              // virtual screen's top edge, screen pixels
    int32_t desktop_width;  // desktop window's client width, pixels
    int32_t desktop_height; // desktop window's client height, pixels
    int32_t width;          // virtual screen's width, pixels
    int32_t height;         // virtual screen's height, pixels
};

extern ScreenGeometry screen_geometry; // defined in overlay.cpp
extern HWND desktop_window;            // defined in overlay.cpp
extern HWND overlay_window;            // defined in overlay.cpp
extern float frame_step;               // latest pass length in units of 20 ms; 1.0 until measured (clock.cpp)
extern float ray_phase;                // radians; grows by frame_step x 0.5 per pass (watch.cpp)
