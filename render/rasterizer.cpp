// The triangle rasterizer: edge set-up, the winding test, the shade gradient and
// the two edge walks that hand every row to the span filler. Pixels and clipping
// of columns belong to ramp.cpp; the corners come from the fan renderer.
#include "render/rasterizer.h"

#include "host/frame.h"
#include "render/ramp.h"
#include "render/ramp_run.h"

#include <cstddef>
#include <cstdint>

RayVertex ray_vertices[3];

namespace {

bool fits_32(int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX;
}

int64_t magnitude(int64_t value)
{
    return value < 0 ? -value : value;
}

bool corner_in_range(const RayVertex &corner)
{
    return corner.x >= -CORNER_LIMIT && corner.x < CORNER_LIMIT && corner.y >= -CORNER_LIMIT &&
           corner.y < CORNER_LIMIT && corner.shade >= -CORNER_LIMIT && corner.shade < CORNER_LIMIT;
}

// numerator / denominator truncated toward zero, denominator > 0. In 32 bits when
// both fit, since 64-bit division is a slow library routine on i686; the
// quotient is the same either way.
int64_t divide(int64_t numerator, int64_t denominator)
{
    if (fits_32(numerator) && denominator <= INT32_MAX) {
        return static_cast<int32_t>(numerator) / static_cast<int32_t>(denominator);
    }
    return numerator / denominator;
}

// (to - from) * 256 / rows, truncated toward zero; rows > 0.
int64_t edge_slope(int32_t from, int32_t to, int64_t rows)
{
    return divide((static_cast<int64_t>(to) - from) << FIXED_SHIFT, rows);
}

// setup_edge for corners that fill_triangle accepts; false when a step does not
// fit in 32 bits (only a walk of very few rows over a very wide span can fail).
bool set_up_fitting_edge(EdgeStep &edge, const RayVertex &from, const RayVertex &to)
{
    const int64_t rows = static_cast<int64_t>(to.y) - from.y;
    edge.x = from.x;
    edge.y = from.y;
    edge.rows = static_cast<int32_t>(rows);
    edge.x_step = 0;
    edge.shade_step = 0;
    if (rows <= 0) {
        return true;
    }
    const int64_t x_step = edge_slope(from.x, to.x, rows);
    const int64_t shade_step = edge_slope(from.shade, to.shade, rows);
    if (!fits_32(x_step) || !fits_32(shade_step)) {
        return false;
    }
    edge.x_step = static_cast<int32_t>(x_step);
    edge.shade_step = static_cast<int32_t>(shade_step);
    return true;
}

// Where a walker that starts at start and climbs by step stands after rows rows.
int32_t walked(int32_t start, int32_t step, int64_t rows)
{
    return static_cast<int32_t>(start + rows * step);
}

// A part of rows rows from row first, the left end at left (x and shade 8.8) and
// the right end at right_x, each climbing by its edge's steps.
WalkPart walk_part(int32_t first, int32_t rows, RayVertex left, int32_t right_x,
                   const EdgeStep &left_edge, const EdgeStep &right_edge)
{
    return WalkPart{first, first + rows, left.x, left.shade, right_x,
                    left_edge.x_step, left_edge.shade_step, right_edge.x_step};
}

// Whether every span of the triangle can be cut and shaded in 32-bit sums: the
// walkers never leave the corners' columns and shades, so a span's first shade
// is at most the largest corner shade plus the cut-off columns' steps, and its
// last adds at most a row's width of steps.
bool quick_rows(const RayVertex &p0, const RayVertex &p1, const RayVertex &p2, int64_t step)
{
    int64_t columns = magnitude(p0.x);
    columns = magnitude(p1.x) > columns ? magnitude(p1.x) : columns;
    columns = magnitude(p2.x) > columns ? magnitude(p2.x) : columns;
    int64_t shade = magnitude(p0.shade);
    shade = magnitude(p1.shade) > shade ? magnitude(p1.shade) : shade;
    shade = magnitude(p2.shade) > shade ? magnitude(p2.shade) : shade;
    const int64_t bound = (shade << FIXED_SHIFT) + magnitude(step) * (columns + raster_target.width);
    return bound <= INT32_MAX;
}

// A run that the short path of quick_rows does not take: long, near the end of the
// buffer, or with shades that leave the ramp. Kept out of line so that the row
// loop stays small.
[[gnu::noinline]] void other_run(uint32_t *out, int32_t count, int32_t shade, const RunSteps &steps,
                                  bool spare)
{
    const int32_t last = shade + (count - 1) * steps.step;
    if (static_cast<uint32_t>(shade) > RAMP_TOP_SHADE || static_cast<uint32_t>(last) > RAMP_TOP_SHADE) {
        fill_clamped_run(out, count, shade, steps.step);
        return;
    }
    write_run(out, count, shade, steps, spare);
}

// The rows first..end - 1 of a quick triangle's part, the walkers standing on
// row first: fill_span's cut and shading in 32-bit sums, every local kept apart
// from the pixels it writes.
void quick_rows(const WalkPart &part, int32_t first, int32_t end, RayVertex left, int32_t right_x,
                int32_t step)
{
    const int32_t width = raster_target.width;
    uint32_t *row = raster_target.pixels + static_cast<ptrdiff_t>(first) * width;
    // From this pixel on, fewer than eight pixels are left in the buffer.
    const uint32_t *const spare_end =
        raster_target.pixels + (static_cast<ptrdiff_t>(raster_target.height) * width - RUN_BLOCK);
    const RunSteps steps = run_steps(step);
    const int32_t left_x_step = part.left_x_step;
    const int32_t left_shade_step = part.left_shade_step;
    const int32_t right_x_step = part.right_x_step;
    int32_t left_x = left.x;
    int32_t left_shade = left.shade;
    for (int32_t r = first; r < end; ++r, row += width) {
        int32_t column = left_x >> FIXED_SHIFT;
        int32_t stop = right_x >> FIXED_SHIFT;
        int32_t shade = left_shade;
        left_x += left_x_step;
        left_shade += left_shade_step;
        right_x += right_x_step;
        if (column < 0) {
            // Columns cut off on the left still advance the shade.
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
        // full one must still lie in the buffer.
        const bool short_run = count <= RUN_BLOCK || (count <= 2 * RUN_BLOCK && spare_end - out >= RUN_BLOCK);
        if (spare && short_run && (static_cast<uint32_t>(shade) | last) <= RAMP_TOP_SHADE) {
            write_short_run(out, count, static_cast<uint32_t>(shade), steps);
        } else {
            other_run(out, count, shade, steps, spare);
        }
    }
}

// Draws the rows of part that lie in first_row..end_row - 1 and in the target.
// The walkers are put on the first of them in one multiplication each, the place
// that as many single additions reach.
void walk_part_rows(const WalkPart &part, int32_t first_row, int32_t end_row, int32_t step, bool quick)
{
    int32_t first = part.first_row > first_row ? part.first_row : first_row;
    first = first > 0 ? first : 0;
    int32_t end = part.end_row < end_row ? part.end_row : end_row;
    end = end < raster_target.height ? end : raster_target.height;
    if (first >= end) {
        return;
    }
    const int64_t skipped = static_cast<int64_t>(first) - part.first_row;
    RayVertex left{walked(part.left_x, part.left_x_step, skipped), first,
                   walked(part.left_shade, part.left_shade_step, skipped)};
    RayVertex right{walked(part.right_x, part.right_x_step, skipped), first, 0};
    // The short row loop writes up to eight pixels at once, so it needs a target
    // of at least that many.
    if (quick && static_cast<int64_t>(raster_target.width) * raster_target.height >= RUN_BLOCK) {
        quick_rows(part, first, end, left, right.x, step);
        return;
    }
    for (; left.y < end; ++left.y) {
        fill_span(left, right, step);
        left.x += part.left_x_step;
        left.shade += part.left_shade_step;
        right.x += part.right_x_step;
    }
}

} // namespace

void setup_edge(EdgeStep &edge, const RayVertex &from, const RayVertex &to)
{
    const int64_t rows = static_cast<int64_t>(to.y) - from.y;
    edge.x = from.x;
    edge.y = from.y;
    edge.rows = static_cast<int32_t>(rows);
    if (rows <= 0) {
        edge.x_step = 0;
        edge.shade_step = 0;
        return;
    }
    edge.x_step = static_cast<int32_t>(edge_slope(from.x, to.x, rows));
    edge.shade_step = static_cast<int32_t>(edge_slope(from.shade, to.shade, rows));
}

bool plan_triangle(const RayVertex &a, const RayVertex &b, const RayVertex &c, TriangleWalk &walk)
{
    // Lowest corner first; among corners on the lowest row the first in the order
    // a, b, c. The rotation keeps the winding.
    RayVertex p0, p1, p2;
    if (a.y <= b.y) {
        if (c.y < a.y) {
            p0 = c, p1 = a, p2 = b;
        } else {
            p0 = a, p1 = b, p2 = c;
        }
    } else if (c.y < b.y) {
        p0 = c, p1 = a, p2 = b;
    } else {
        p0 = b, p1 = c, p2 = a;
    }
    if (!corner_in_range(p0) || !corner_in_range(p1) || !corner_in_range(p2)) {
        return false;
    }

    // Twice the signed area: positive when counter-clockwise with y growing upward.
    // Inside the corner range both products stay below 2^48.
    const int64_t dx1 = static_cast<int64_t>(p1.x) - p0.x;
    const int64_t dy1 = static_cast<int64_t>(p1.y) - p0.y;
    const int64_t dx2 = static_cast<int64_t>(p2.x) - p0.x;
    const int64_t dy2 = static_cast<int64_t>(p2.y) - p0.y;
    const int64_t area2 = dx1 * dy2 - dx2 * dy1;
    if (area2 <= 0) {
        return false;
    }
    const int64_t numerator = (static_cast<int64_t>(p1.shade) - p0.shade) * dy2 +
                              (static_cast<int64_t>(p0.shade) - p2.shade) * dy1;
    const int64_t gradient = divide(numerator << FIXED_SHIFT, area2);
    if (!fits_32(gradient) || p0.y >= raster_target.height) {
        return false;
    }
    walk.step = static_cast<int32_t>(gradient);
    walk.quick = quick_rows(p0, p1, p2, gradient);

    // Both ends start at the lowest corner; the short side starts again exactly at
    // the middle corner, the long side goes on from where the lower part left it.
    const RayVertex bottom{p0.x << FIXED_SHIFT, p0.y, p0.shade << FIXED_SHIFT};
    EdgeStep long_edge, lower_edge, upper_edge;
    if (p1.y > p2.y) {
        // P1 is the top corner and P2, the middle one, lies left of the long edge.
        if (p1.y <= 0 || !set_up_fitting_edge(long_edge, p0, p1) ||
            !set_up_fitting_edge(lower_edge, p0, p2) || !set_up_fitting_edge(upper_edge, p2, p1)) {
            return false;
        }
        walk.lower = walk_part(p0.y, lower_edge.rows, bottom, bottom.x, lower_edge, long_edge);
        const RayVertex middle{p2.x << FIXED_SHIFT, p2.y, p2.shade << FIXED_SHIFT};
        const int32_t long_x = walked(bottom.x, long_edge.x_step, lower_edge.rows);
        walk.upper = walk_part(p2.y, upper_edge.rows, middle, long_x, upper_edge, long_edge);
    } else {
        // P2 is the top corner and P1, the middle one, lies right of the long edge.
        if (p2.y <= 0 || !set_up_fitting_edge(long_edge, p0, p2) ||
            !set_up_fitting_edge(lower_edge, p0, p1) || !set_up_fitting_edge(upper_edge, p1, p2)) {
            return false;
        }
        walk.lower = walk_part(p0.y, lower_edge.rows, bottom, bottom.x, long_edge, lower_edge);
        const RayVertex long_side{walked(bottom.x, long_edge.x_step, lower_edge.rows), p1.y,
                                  walked(bottom.shade, long_edge.shade_step, lower_edge.rows)};
        walk.upper = walk_part(p1.y, upper_edge.rows, long_side, p1.x << FIXED_SHIFT, long_edge, upper_edge);
    }
    return true;
}

void walk_triangle(const TriangleWalk &walk, int32_t first_row, int32_t end_row)
{
    walk_part_rows(walk.lower, first_row, end_row, walk.step, walk.quick);
    walk_part_rows(walk.upper, first_row, end_row, walk.step, walk.quick);
}

void fill_triangle(int a, int b, int c)
{
    TriangleWalk walk;
    if (plan_triangle(ray_vertices[a], ray_vertices[b], ray_vertices[c], walk)) {
        walk_triangle(walk, 0, raster_target.height);
    }
}
