// The span filler: the innermost layer of the light rendering, which writes rows of
// ramp entries into the raster target. It names the 8.8 fixed point and the records
// the layers above hand it: a triangle's corner, whose span form is a span's end,
// and a part of a triangle's walk. The runs it writes rows with are in span_run.h.
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

// Fills columns (left.x >> 8) to (right.x >> 8) - 1 of row left.y with ramp entries,
// the shade starting at left.shade (8.8) on the left end's column and growing by
// step (8.8) per column; pixels are replaced, never blended. The span is half-open;
// rows and columns outside the raster target are cut off, and cut-off columns on
// the left still advance the shade. Truncated steps can carry the shade a little
// past the corner shades: an index outside 0..255 is clamped to the nearest entry.
// Reads left.x, left.y, left.shade and right.x only. Called by fill_rows for the
// rows that do not take its short loop.
void fill_span(const RayVertex &left, const RayVertex &right, int32_t step);

// Draws rows rows.first_row..rows.end_row - 1, which the caller has cut to the
// raster target's rows, each as fill_span draws it: the walkers stand on first_row
// and climb by their steps, step is the shade change per column. fits_32 says that
// every span's columns and shades fit 32-bit sums; such rows take a short loop that
// writes up to sixteen pixels without a branch on their count. Called by the
// rasterizer's walk, once for each part of a triangle and band of rows.
void fill_rows(const WalkPart &rows, int32_t step, bool fits_32);
