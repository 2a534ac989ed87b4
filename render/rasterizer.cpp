// The triangle rasterizer: edge set-up, the winding test, the shade gradient and
// the two edge walks that hand every row to fill_span. Pixels and clipping of
// columns belong to ramp.cpp; the corners come from the fan renderer.
#include "render/rasterizer.h"

#include "host/frame.h"
#include "render/ramp.h"

#include <cstdint>

RayVertex ray_vertices[3];

namespace {

bool fits_32(int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX;
}

bool corner_in_range(const RayVertex &corner)
{
    return corner.x >= -CORNER_LIMIT && corner.x < CORNER_LIMIT && corner.y >= -CORNER_LIMIT &&
           corner.y < CORNER_LIMIT && corner.shade >= -CORNER_LIMIT && corner.shade < CORNER_LIMIT;
}

// (to - from) * 256 / rows, truncated toward zero; rows > 0.
int64_t edge_slope(int32_t from, int32_t to, int64_t rows)
{
    return ((static_cast<int64_t>(to) - from) << FIXED_SHIFT) / rows;
}

// Whether both steps of the edge from..to fit in 32 bits. Only a walk of very few
// rows over a very wide span of columns or shades can fail this.
bool edge_fits(const RayVertex &from, const RayVertex &to)
{
    const int64_t rows = static_cast<int64_t>(to.y) - from.y;
    if (rows <= 0) {
        return true;
    }
    return fits_32(edge_slope(from.x, to.x, rows)) && fits_32(edge_slope(from.shade, to.shade, rows));
}

// Moves the walkers up by rows rows at once: the same place that rows single
// additions reach, since every step is exact.
void advance(RayVertex &left, RayVertex &right, const EdgeStep &left_edge,
             const EdgeStep &right_edge, int32_t rows)
{
    left.x = static_cast<int32_t>(left.x + static_cast<int64_t>(rows) * left_edge.x_step);
    left.shade = static_cast<int32_t>(left.shade + static_cast<int64_t>(rows) * left_edge.shade_step);
    right.x = static_cast<int32_t>(right.x + static_cast<int64_t>(rows) * right_edge.x_step);
    left.y += rows;
}

// Fills rows spans upward from left.y and leaves the walkers rows rows higher.
// Rows below and above the target would each be a fill_span that writes
// nothing; they are jumped over instead, which leaves every written pixel as it is.
void walk_rows(RayVertex &left, RayVertex &right, const EdgeStep &left_edge,
               const EdgeStep &right_edge, int32_t rows, int32_t step)
{
    int32_t below = 0;
    if (left.y < 0) {
        below = -left.y < rows ? -left.y : rows;
        advance(left, right, left_edge, right_edge, below);
    }
    const int64_t room = static_cast<int64_t>(raster_target.height) - left.y;
    const int32_t inside = room <= 0 ? 0 : (room < rows - below ? static_cast<int32_t>(room) : rows - below);
    for (int32_t k = 0; k < inside; ++k) {
        fill_span(left, right, step);
        left.x += left_edge.x_step;
        left.shade += left_edge.shade_step;
        right.x += right_edge.x_step;
        left.y += 1;
    }
    advance(left, right, left_edge, right_edge, rows - below - inside);
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

void fill_triangle(int a, int b, int c)
{
    // Lowest corner first; among corners on the lowest row the first in the order
    // a, b, c. The rotation keeps the winding.
    const RayVertex &va = ray_vertices[a];
    const RayVertex &vb = ray_vertices[b];
    const RayVertex &vc = ray_vertices[c];
    RayVertex p0, p1, p2;
    if (va.y <= vb.y) {
        if (vc.y < va.y) {
            p0 = vc, p1 = va, p2 = vb;
        } else {
            p0 = va, p1 = vb, p2 = vc;
        }
    } else if (vc.y < vb.y) {
        p0 = vc, p1 = va, p2 = vb;
    } else {
        p0 = vb, p1 = vc, p2 = va;
    }
    if (!corner_in_range(p0) || !corner_in_range(p1) || !corner_in_range(p2)) {
        return;
    }

    // Twice the signed area: positive when counter-clockwise with y growing upward.
    // Inside the corner range both products stay below 2^48.
    const int64_t dx1 = static_cast<int64_t>(p1.x) - p0.x;
    const int64_t dy1 = static_cast<int64_t>(p1.y) - p0.y;
    const int64_t dx2 = static_cast<int64_t>(p2.x) - p0.x;
    const int64_t dy2 = static_cast<int64_t>(p2.y) - p0.y;
    const int64_t area2 = dx1 * dy2 - dx2 * dy1;
    if (area2 <= 0) {
        return;
    }
    const int64_t numerator = (static_cast<int64_t>(p1.shade) - p0.shade) * dy2 +
                              (static_cast<int64_t>(p0.shade) - p2.shade) * dy1;
    const int64_t gradient = (numerator << FIXED_SHIFT) / area2;
    if (!fits_32(gradient) || p0.y >= raster_target.height) {
        return;
    }
    const int32_t step = static_cast<int32_t>(gradient);

    // Both ends start at the lowest corner; the short side starts again exactly at
    // the middle corner, the long side goes on from where the lower part left it.
    RayVertex left{p0.x << FIXED_SHIFT, p0.y, p0.shade << FIXED_SHIFT};
    RayVertex right{p0.x << FIXED_SHIFT, p0.y, 0};
    EdgeStep long_edge, lower_edge, upper_edge;
    if (p1.y > p2.y) {
        // P1 is the top corner and P2, the middle one, lies left of the long edge.
        if (p1.y <= 0 || !edge_fits(p0, p1) || !edge_fits(p0, p2) || !edge_fits(p2, p1)) {
            return;
        }
        setup_edge(long_edge, p0, p1);
        setup_edge(lower_edge, p0, p2);
        setup_edge(upper_edge, p2, p1);
        walk_rows(left, right, lower_edge, long_edge, lower_edge.rows, step);
        left = RayVertex{p2.x << FIXED_SHIFT, p2.y, p2.shade << FIXED_SHIFT};
        walk_rows(left, right, upper_edge, long_edge, upper_edge.rows, step);
    } else {
        // P2 is the top corner and P1, the middle one, lies right of the long edge.
        if (p2.y <= 0 || !edge_fits(p0, p2) || !edge_fits(p0, p1) || !edge_fits(p1, p2)) {
            return;
        }
        setup_edge(long_edge, p0, p2);
        setup_edge(lower_edge, p0, p1);
        setup_edge(upper_edge, p1, p2);
        walk_rows(left, right, long_edge, lower_edge, lower_edge.rows, step);
        right.x = p1.x << FIXED_SHIFT;
        walk_rows(left, right, long_edge, upper_edge, upper_edge.rows, step);
    }
}
