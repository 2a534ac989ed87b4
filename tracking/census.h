// The census of top-level windows that can receive light, taken on every pass of
// the watch loop, and the rule that widens a thick-framed window's rectangle.
#pragma once

#include <windows.h>

#include <cstdint>

inline constexpr int32_t CENSUS_CAPACITY = 1024;
// The most windows one census walk visits. The platform lets a process hold about
// 10,000 USER handles by default and a session 65,536 in all, so a real walk never
// gets this far; only a Z order that changes under the walk can bring it back round.
inline constexpr int32_t CENSUS_WALK_LIMIT = 65536;
inline constexpr LONG THICK_FRAME_INFLATION = 5; // pixels added on every side
inline constexpr LONG THICK_FRAME_EXCESS = 6;    // window width minus client width

// Entry 0 is the highest window in the Z order; each later entry lies below.
struct WindowCensus {
    HWND handles[CENSUS_CAPACITY];
    RECT rects[CENSUS_CAPACITY]; // screen coordinates, after frame inflation
    int32_t count;               // 0..CENSUS_CAPACITY
};

extern WindowCensus window_census;

// Rebuilds window_census by walking the Z order from the top of start's kind.
// A null start gives an empty census; the walk stops at the capacity, at a null
// handle, or after CENSUS_WALK_LIMIT windows. The watch loop calls it on every pass.
void take_census(HWND start);

// Widens rect by 5 pixels on every side when the window's frame is the thick
// kind (no maximize box or a modal frame, and exactly 6 pixels wider than its client).
void inflate_thick_frame(HWND window, RECT &rect);
