// The records the renderer's inner loop works on: the corner of a triangle, the
// part of a triangle's walk that is handed over row by row, and the view of the
// frame buffer that every span is clipped to and written through. The frame
// buffer itself and its storage belong to host/.
#pragma once

#include <cstdint>

inline constexpr int FIXED_SHIFT = 8; // 8.8 fixed point: value << 8

// A triangle corner in whole pixels, or, in span form, x and shade in 8.8.
struct RayVertex {
    int32_t x;     // frame-buffer column (8.8 in span form)
    int32_t y;     // frame-buffer row, bottom-up; always whole
    int32_t shade; // light ramp index 0..255 (8.8 in span form)
};

// One part of a triangle's walk: the rows from one corner's row up to the next
// corner's, with the walkers' places on its first row and their steps per row.
// After k rows a walker stands at exactly its place + k x its step.
struct WalkPart {
    int32_t first_row;       // row of the part's first span
    int32_t end_row;         // row after its last span; first_row when it has none
    int32_t left_x;          // left end's column on first_row, 8.8
    int32_t left_shade;      // left end's shade on first_row, 8.8
    int32_t right_x;         // right end's column on first_row, 8.8
    int32_t left_x_step;     // 8.8 per row
    int32_t left_shade_step; // 8.8 per row
    int32_t right_x_step;    // 8.8 per row
};

// The view through which the span filler and rasterizer clip and write.
// While no storage exists it is 0 x 0, so nothing can be written.
struct RasterTarget {
    int32_t width;     // pixels per row
    int32_t height;    // rows, bottom-up
    uint32_t *pixels;  // pixel (c, r) is pixels[r * width + c]
};

extern RasterTarget raster_target;
