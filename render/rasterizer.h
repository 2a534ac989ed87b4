// The scanline rasterizer: one counter-clockwise shaded triangle at a time, in
// 8.8 fixed point, handed to the span filler a part of its walk at a time. Rows
// are bottom-up.
#pragma once

#include "render/span.h"

#include <cstdint>

// Corners are drawn only while every x, y and shade lies in -CORNER_LIMIT ..
// CORNER_LIMIT - 1, the range whose 8.8 form (value << 8) fits in 32 bits.
inline constexpr int32_t CORNER_LIMIT = 1 << 23;

// The set-up of one edge walker.
struct EdgeStep {
    int32_t x;          // column of the start corner, whole pixels
    int32_t y;          // row of the start corner
    int32_t x_step;     // column change per row, 8.8
    int32_t shade_step; // shade change per row, 8.8
    int32_t rows;       // end row minus start row; 0 for a flat edge
};

// A triangle set up for drawing: the part below the middle corner, the part above
// it, and the shade gradient. Drawing any set of rows from it gives exactly the
// pixels that fill_triangle writes on those rows.
struct TriangleWalk {
    WalkPart lower;
    WalkPart upper;
    int32_t step; // shade change per column, 8.8
    bool fits_32; // every span's columns and shades fit 32-bit sums, so rows take
                  // fill_rows' short loop; otherwise each row goes through fill_span
};

// The corners of the last ray of the frame, as render_light leaves them. Kept, but
// read by nothing in the program: the tests compare them and draw from them.
extern RayVertex ray_vertices[3];

// Whether a value formed in 64 bits fits a signed 32-bit one. Used by the
// rasterizer's set-up and by the fan's.
inline bool fits_32(int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX;
}

// Sets up a walk from corner from up to corner to (from.y <= to.y). The steps are
// truncated toward zero and never corrected, so after k rows a walker stands at
// exactly start * 256 + k * step. Products are formed in 64 bits. Returns false,
// the steps left at 0, when a step does not fit in 32 bits (for corners that
// fill_triangle accepts only a walk of very few rows over a very wide span can
// fail); a flat edge has rows 0 and no steps. Called by plan_triangle.
bool setup_edge(EdgeStep &edge, const RayVertex &from, const RayVertex &to);

// Draws the triangle ray_vertices[a], [b], [c] (indices 0..2) if its corners run
// counter-clockwise on the screen (y grows upward); clockwise and degenerate ones
// draw nothing. The rows from the lowest corner's up to the top corner's row - 1
// are drawn, each as the half-open span of fill_span. A triangle with a corner
// outside CORNER_LIMIT, or whose shade gradient or edge steps do not fit in 32
// bits, is dropped: no position a walker takes can then leave 32 bits. The frame
// itself is drawn through plan_triangle and walk_triangle; this is the
// one-triangle form of both, which no product code calls and the tests draw with.
void fill_triangle(int a, int b, int c);

// The set-up of fill_triangle for the corners a, b, c (given in winding order).
// Returns false for a triangle that draws nothing: clockwise, degenerate, wholly
// above or below the raster target, or outside the ranges fill_triangle accepts.
// Called by fill_triangle and by plan_fan, which sets up a fan's triangles once a frame.
bool plan_triangle(const RayVertex &a, const RayVertex &b, const RayVertex &c, TriangleWalk &walk);

// Draws the rows first_row..end_row - 1 of a planned triangle, cut to the raster
// target's rows, each part handed to fill_rows. Drawing a triangle band by band
// gives the pixels of one whole walk. Called by fill_triangle and by render_light.
void walk_triangle(const TriangleWalk &walk, int32_t first_row, int32_t end_row);
