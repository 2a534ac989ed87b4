// The scanline rasterizer: one counter-clockwise shaded triangle at a time, in
// 8.8 fixed point, handed to the span filler row by row. Rows are bottom-up.
#pragma once

#include "render/rasterizer_types.h"

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

// The corners of the next triangle; the renderer writes them, fill_triangle reads.
extern RayVertex ray_vertices[3];

// Sets up a walk from corner from up to corner to (from.y <= to.y). The steps are
// truncated toward zero and never corrected, so after k rows a walker stands at
// exactly start * 256 + k * step. Products are formed in 64 bits; the fields are
// exact for corners that fill_triangle accepts. Called by fill_triangle.
void setup_edge(EdgeStep &edge, const RayVertex &from, const RayVertex &to);

// Draws the triangle ray_vertices[a], [b], [c] (indices 0..2) if its corners run
// counter-clockwise on the screen (y grows upward); clockwise and degenerate ones
// draw nothing. Rows y0 up to the top corner's row - 1 are drawn, each as the
// half-open span of fill_span. A triangle with a corner outside CORNER_LIMIT, or
// whose shade gradient or edge steps do not fit in 32 bits, is dropped: no
// position a walker takes can then leave 32 bits. Called by render_light.
void fill_triangle(int a, int b, int c);
