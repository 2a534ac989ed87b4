// The warm light ramp that turns a shade into a finished premultiplied pixel, and
// the span filler that writes one shaded row of a triangle into the frame buffer.
#pragma once

#include "render/rasterizer_types.h"

#include <cstdint>

inline constexpr int32_t RAMP_SIZE = 256;

// Entry e: alpha e, red e, green 85e/100, blue e/5, already premultiplied.
struct LightRamp {
    uint32_t entries[RAMP_SIZE];
};

extern LightRamp light_ramp;

// Writes all 256 entries. Called by render_light at the start of every frame.
void build_light_ramp();

// The largest shade, 8.8, that still indexes the ramp.
inline constexpr int32_t RAMP_TOP_SHADE = (RAMP_SIZE << 8) - 1;

// Writes count >= 1 pixels from out on with the entries of the shades shade,
// shade + step, ... (8.8). Every one of them must lie in 0..RAMP_TOP_SHADE. The
// entries are computed, four at a time, to the values build_light_ramp puts in
// the table. Called by fill_span and by the rasterizer's row loop.
void fill_ramp_run(uint32_t *out, int32_t count, int32_t shade, int32_t step);

// The same for shades that may leave the ramp: each index is clamped to the
// nearest entry. Formed in 64 bits, so no step or length can make the sum wrap.
void fill_clamped_run(uint32_t *out, int64_t count, int64_t shade, int32_t step);

// Fills columns (left.x >> 8) to (right.x >> 8) - 1 of row left.y with ramp entries,
// the shade starting at left.shade (8.8) on the left end's column and growing by
// step (8.8) per column; pixels are replaced, never blended. The span is half-open;
// rows and columns outside the raster target are cut off, and cut-off columns on
// the left still advance the shade. Truncated steps can carry the shade a little
// past the corner shades: an index outside 0..255 is clamped to the nearest entry.
// Reads left.x, left.y, left.shade and right.x only. Called by fill_triangle.
void fill_span(const RayVertex &left, const RayVertex &right, int32_t step);
