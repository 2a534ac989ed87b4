// The corner record shared by the span filler, the rasterizer and the fan renderer.
#pragma once

#include <cstdint>

inline constexpr int FIXED_SHIFT = 8; // 8.8 fixed point: value << 8

// A triangle corner in whole pixels, or, in span form, x and shade in 8.8.
struct RayVertex {
    int32_t x;     // frame-buffer column (8.8 in span form)
    int32_t y;     // frame-buffer row, bottom-up; always whole
    int32_t shade; // light ramp index 0..255 (8.8 in span form)
};
