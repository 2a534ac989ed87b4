// The span filler and the row loops that feed it: clipping of columns, the shade
// of cut-off columns, and the choice between the runs that compute eight entries at
// once (span_run.h) and the clamped run. The rows come from rasterizer.cpp; the
// frame buffer's storage and its clear belong to the overlay host.
#include "render/span.h"

#include "render/ramp.h"
#include "render/raster_target.h"
#include "render/span_run.h"

#include <cstddef>
#include <cstdint>

namespace {

// Whether every shade of a run lies in the ramp: the shade is linear along a run,
// so its first and its last shade decide.
bool shades_in_ramp(int64_t first, int64_t last)
{
    return first >= 0 && first <= RAMP_TOP_SHADE && last >= 0 && last <= RAMP_TOP_SHADE;
}

// Writes count pixels of the shades shade, shade + step, ... (8.8), each index
// clamped to the nearest entry. Formed in 64 bits, so no step or length can make
// the sum wrap.
void fill_clamped_run(uint32_t *out, int64_t count, int64_t shade, int32_t step)
{
    for (int64_t k = 0; k < count; ++k) {
        int64_t index = shade >> FIXED_SHIFT;
        if (index < 0) {
            index = 0;
        } else if (index > RAMP_SIZE - 1) {
            index = RAMP_SIZE - 1;
        }
        out[k] = light_ramp.entries[index];
        shade += step;
    }
}

// A run that the short loop does not take: long, near the end of the buffer, or
// with shades that leave the ramp, which are checked here and clamped. Kept out of
// line so that the row loop stays small.
[[gnu::noinline]] void write_checked_run(uint32_t *out, int32_t count, int32_t shade, const RunSteps &steps, bool spare)
{
    if (!shades_in_ramp(shade, shade + static_cast<int64_t>(count - 1) * steps.step)) {
        fill_clamped_run(out, count, shade, steps.step);
        return;
    }
    write_run(out, count, shade, steps, spare);
}

// The rows of a part whose sums fit 32 bits: fill_span's cut and shading in 32-bit
// sums, every local kept apart from the pixels it writes.
void fill_rows_32(const WalkPart &rows, int32_t step)
{
    const int32_t width = raster_target.width;
    const int32_t end = rows.end_row;
    uint32_t *row = raster_target.pixels + static_cast<ptrdiff_t>(rows.first_row) * width;
    // From this pixel on, fewer than eight pixels are left in the buffer.
    const uint32_t *const spare_end =
        raster_target.pixels + (static_cast<ptrdiff_t>(raster_target.height) * width - RUN_BLOCK);
    const RunSteps steps = run_steps(step);
    const int32_t left_x_step = rows.left_x_step;
    const int32_t left_shade_step = rows.left_shade_step;
    const int32_t right_x_step = rows.right_x_step;
    int32_t left_x = rows.left_x;
    int32_t left_shade = rows.left_shade;
    int32_t right_x = rows.right_x;
    for (int32_t r = rows.first_row; r < end; ++r, row += width) {
        int32_t column = left_x >> FIXED_SHIFT;
        int32_t stop = right_x >> FIXED_SHIFT;
        int32_t shade = left_shade;
        left_x += left_x_step;
        left_shade += left_shade_step;
        right_x += right_x_step;
        if (column < 0) {
            // Columns cut off on the left still advance the shade, here in 32-bit
            // sums; fill_span does the same in 64 bits: change both.
            shade -= column * step;
            column = 0;
        }
        stop = stop < width ? stop : width;
        const int32_t count = stop - column;
        if (count <= 0) {
            continue;
        }
        uint32_t *const out = row + column;
        const uint32_t last = static_cast<uint32_t>(shade + (count - 1) * step);
        const bool spare = out <= spare_end;
        // Up to two blocks go straight to the pixels; the block after the first
        // full one must still lie in the buffer. Shades read as unsigned lie in the
        // ramp exactly when they are at most its top shade.
        const bool short_run = count <= RUN_BLOCK || (count <= 2 * RUN_BLOCK && spare_end - out >= RUN_BLOCK);
        if (spare && short_run && (static_cast<uint32_t>(shade) | last) <= RAMP_TOP_SHADE) {
            write_short_run(out, count, static_cast<uint32_t>(shade), steps);
        } else {
            write_checked_run(out, count, shade, steps, spare);
        }
    }
}

// The rows of a part whose sums may leave 32 bits, each through fill_span.
void span_rows(const WalkPart &rows, int32_t step)
{
    RayVertex left{rows.left_x, rows.first_row, rows.left_shade};
    RayVertex right{rows.right_x, rows.first_row, 0};
    for (; left.y < rows.end_row; ++left.y) {
        fill_span(left, right, step);
        left.x += rows.left_x_step;
        left.shade += rows.left_shade_step;
        right.x += rows.right_x_step;
    }
}

} // namespace

void fill_ramp_run(uint32_t *out, int32_t count, int32_t shade, int32_t step)
{
    write_run(out, count, shade, run_steps(step), false);
}

void fill_span(const RayVertex &left, const RayVertex &right, int32_t step)
{
    const int32_t row = left.y;
    if (row < 0 || row >= raster_target.height) {
        return;
    }
    const int32_t first_column = left.x >> FIXED_SHIFT;
    const int32_t end_column = right.x >> FIXED_SHIFT;
    const int32_t first = first_column > 0 ? first_column : 0;
    const int32_t end = end_column < raster_target.width ? end_column : raster_target.width;
    if (first >= end) {
        return;
    }

    // Columns cut off on the left still advance the shade. The shades of the
    // first and the last pixel written are formed in 64 bits; fill_rows_32 does the
    // same in 32-bit sums: change both.
    const int64_t first_shade = left.shade + static_cast<int64_t>(first - first_column) * step;
    const int64_t last_shade = first_shade + static_cast<int64_t>(end - 1 - first) * step;
    uint32_t *out = raster_target.pixels + static_cast<ptrdiff_t>(row) * raster_target.width + first;
    if (!shades_in_ramp(first_shade, last_shade)) {
        fill_clamped_run(out, end - first, first_shade, step);
        return;
    }
    fill_ramp_run(out, end - first, static_cast<int32_t>(first_shade), step);
}

void fill_rows(const WalkPart &rows, int32_t step, bool fits_32)
{
    // The short loop writes up to eight pixels at once, so it needs a target of
    // at least that many.
    if (fits_32 && static_cast<int64_t>(raster_target.width) * raster_target.height >= RUN_BLOCK) {
        fill_rows_32(rows, step);
        return;
    }
    span_rows(rows, step);
}
