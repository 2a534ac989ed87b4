// The triangle rasterizer: edge set-up, the winding test, the shade gradient and
// the two edge walks, each cut to the rows asked for and handed to the span filler.
// Pixels and clipping of columns belong to span.cpp; the corners come from the fan
// renderer.
#include "render/rasterizer.h"

#include "render/raster_target.h"
#include "render/span.h"

#include <cstdint>

RayVertex ray_vertices[3];

namespace {

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

// Where a walker that starts at start and climbs by step stands after rows rows.
int32_t walked(int32_t start, int32_t step, int64_t rows)
{
    return static_cast<int32_t>(start + rows * step);
}

// A part of rows rows from row first, the left end at left (x and shade 8.8) and
// the right end at right_x, each climbing by its edge's steps.
WalkPart walk_part(int32_t first, int32_t rows, RayVertex left, int32_t right_x, const EdgeStep &left_edge,
                   const EdgeStep &right_edge)
{
    return WalkPart{
        first, first + rows, left.x, left.shade, right_x, left_edge.x_step, left_edge.shade_step, right_edge.x_step};
}

// Whether every span of the triangle can be cut and shaded in 32-bit sums: the
// walkers never leave the corners' columns and shades, so a span's first shade
// is at most the largest corner shade plus the cut-off columns' steps, and its
// last adds at most a row's width of steps.
bool spans_fit_32(const RayVertex &p0, const RayVertex &p1, const RayVertex &p2, int64_t step)
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

// Cuts part to the rows first_row..end_row - 1 and to the target's rows and hands
// what is left to the span filler. The walkers are put on the first of them in one
// multiplication each, the place that as many single additions reach.
void walk_part_rows(const WalkPart &part, int32_t first_row, int32_t end_row, int32_t step, bool fits_32)
{
    int32_t first = part.first_row > first_row ? part.first_row : first_row;
    first = first > 0 ? first : 0;
    int32_t end = part.end_row < end_row ? part.end_row : end_row;
    end = end < raster_target.height ? end : raster_target.height;
    if (first >= end) {
        return;
    }
    const int64_t skipped = static_cast<int64_t>(first) - part.first_row;
    const WalkPart rows{first,
                        end,
                        walked(part.left_x, part.left_x_step, skipped),
                        walked(part.left_shade, part.left_shade_step, skipped),
                        walked(part.right_x, part.right_x_step, skipped),
                        part.left_x_step,
                        part.left_shade_step,
                        part.right_x_step};
    fill_rows(rows, step, fits_32);
}

} // namespace

bool setup_edge(EdgeStep &edge, const RayVertex &from, const RayVertex &to)
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
    const int64_t numerator =
        (static_cast<int64_t>(p1.shade) - p0.shade) * dy2 + (static_cast<int64_t>(p0.shade) - p2.shade) * dy1;
    const int64_t gradient = divide(numerator << FIXED_SHIFT, area2);
    if (!fits_32(gradient) || p0.y >= raster_target.height) {
        return false;
    }
    walk.step = static_cast<int32_t>(gradient);
    walk.fits_32 = spans_fit_32(p0, p1, p2, gradient);

    // Both ends start at the lowest corner; the short side starts again exactly at
    // the middle corner, the long side goes on from where the lower part left it.
    const RayVertex bottom{p0.x << FIXED_SHIFT, p0.y, p0.shade << FIXED_SHIFT};
    EdgeStep long_edge, lower_edge, upper_edge;
    if (p1.y > p2.y) {
        // P1 is the top corner and P2, the middle one, lies left of the long edge.
        if (p1.y <= 0 || !setup_edge(long_edge, p0, p1) || !setup_edge(lower_edge, p0, p2) ||
            !setup_edge(upper_edge, p2, p1)) {
            return false;
        }
        walk.lower = walk_part(p0.y, lower_edge.rows, bottom, bottom.x, lower_edge, long_edge);
        const RayVertex middle{p2.x << FIXED_SHIFT, p2.y, p2.shade << FIXED_SHIFT};
        const int32_t long_x = walked(bottom.x, long_edge.x_step, lower_edge.rows);
        walk.upper = walk_part(p2.y, upper_edge.rows, middle, long_x, upper_edge, long_edge);
    } else {
        // P2 is the top corner and P1, the middle one, lies right of the long edge.
        if (p2.y <= 0 || !setup_edge(long_edge, p0, p2) || !setup_edge(lower_edge, p0, p1) ||
            !setup_edge(upper_edge, p1, p2)) {
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
    walk_part_rows(walk.lower, first_row, end_row, walk.step, walk.fits_32);
    walk_part_rows(walk.upper, first_row, end_row, walk.step, walk.fits_32);
}

void fill_triangle(int a, int b, int c)
{
    TriangleWalk walk;
    if (plan_triangle(ray_vertices[a], ray_vertices[b], ray_vertices[c], walk)) {
        walk_triangle(walk, 0, raster_target.height);
    }
}
