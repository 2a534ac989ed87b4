// The span filler: the innermost layer of the light rendering, which writes rows of
// ramp entries into the raster target. The rasterizer hands it the rows of a part
// of a triangle's walk; the runs it writes them with are in span_run.h.
#pragma once

#include "render/target.h"

#include <cstdint>

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
// and climb by their steps, step is the shade change per column. quick says that
// every span's columns and shades fit 32-bit sums; such rows take a short loop that
// writes up to sixteen pixels without a branch on their count. Called by the
// rasterizer's walk, once for each part of a triangle and band of rows.
void fill_rows(const WalkPart &rows, int32_t step, bool quick);
