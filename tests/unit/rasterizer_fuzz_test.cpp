// Random triangles and spans against a slow 64-bit reference written from the
// rules: every rotation draws the same pixels, nothing is written outside the
// target, and wherever the 32-bit arithmetic is defined nothing is dropped.
#include "render_target.h"

#include "render/ramp.h"
#include "render/rasterizer.h"
#include "render/span.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

const int64_t INT32_LOW = INT32_MIN;
const int64_t INT32_HIGH = INT32_MAX;

bool in_32(int64_t value)
{
    return value >= INT32_LOW && value <= INT32_HIGH;
}

int32_t clamp_index(int64_t shade)
{
    const int64_t index = shade >> 8;
    return static_cast<int32_t>(index < 0 ? 0 : (index > 255 ? 255 : index));
}

struct Corner {
    int64_t x, y, s;
};

// One edge in closed form: after k rows the walker is at x0 * 256 + k * dx.
struct Walk {
    int64_t x0, s0, y0, dx, ds, rows;
};

Walk walk(const Corner &from, const Corner &to)
{
    Walk w{from.x * 256, from.s * 256, from.y, 0, 0, to.y - from.y};
    if (w.rows > 0) {
        w.dx = (to.x - from.x) * 256 / w.rows; // C++ division truncates toward zero
        w.ds = (to.s - from.s) * 256 / w.rows;
    }
    return w;
}

// The expected picture: the index of every pixel, -1 where nothing is written.
struct Expected {
    std::vector<int32_t> index;
    bool defined_32 = true; // every quantity the rules hold in 32 bits fits in them
    bool dropped = false;   // dropped by the rasterizer's limits
};

Expected reference(const RayVertex &a, const RayVertex &b, const RayVertex &c, int32_t width, int32_t height)
{
    Expected out;
    out.index.assign(static_cast<size_t>(width) * height, -1);
    const Corner A{a.x, a.y, a.shade}, B{b.x, b.y, b.shade}, C{c.x, c.y, c.shade};
    Corner p0 = A, p1 = B, p2 = C;
    const Corner &lowest = A.y <= B.y ? (C.y < A.y ? C : A) : (C.y < B.y ? C : B);
    if (&lowest == &B) {
        p0 = B, p1 = C, p2 = A;
    } else if (&lowest == &C) {
        p0 = C, p1 = A, p2 = B;
    }
    bool &ok = out.defined_32;
    const int64_t t1 = (p1.x - p0.x) * (p2.y - p0.y), t2 = (p2.x - p0.x) * (p1.y - p0.y);
    ok = in_32(t1) && in_32(t2) && in_32(t1 - t2);
    const int64_t area2 = t1 - t2;
    if (area2 <= 0) {
        return out;
    }
    const int64_t g1 = (p1.s - p0.s) * (p2.y - p0.y), g2 = (p0.s - p2.s) * (p1.y - p0.y);
    ok = ok && in_32(g1) && in_32(g2) && in_32(g1 + g2) && in_32((g1 + g2) * 256);
    const int64_t step = (g1 + g2) * 256 / area2;
    if (p0.y >= height) {
        return out;
    }
    const bool middle_left = p1.y > p2.y;
    const Corner &top = middle_left ? p1 : p2;
    const Corner &middle = middle_left ? p2 : p1;
    if (top.y <= 0) {
        return out;
    }
    const Walk long_walk = walk(p0, top), lower = walk(p0, middle), upper = walk(middle, top);
    for (const Walk *w : {&long_walk, &lower, &upper}) {
        // Start and end of every walk, and the numerators of its steps.
        ok = ok && in_32(w->x0) && in_32(w->s0) && in_32(w->x0 + w->rows * w->dx) &&
             in_32(w->s0 + w->rows * w->ds);
    }
    ok = ok && in_32((top.x - p0.x) * 256) && in_32((middle.x - p0.x) * 256) && in_32((top.x - middle.x) * 256) &&
         in_32((top.s - p0.s) * 256) && in_32((middle.s - p0.s) * 256) && in_32((top.s - middle.s) * 256);

    // What the rasterizer drops: corners outside its range, steps that leave 32 bits.
    const int64_t limit = CORNER_LIMIT;
    for (const Corner *p : {&p0, &p1, &p2}) {
        if (p->x < -limit || p->x >= limit || p->y < -limit || p->y >= limit || p->s < -limit || p->s >= limit) {
            out.dropped = true;
            return out;
        }
    }
    if (!in_32(step) || !in_32(long_walk.dx) || !in_32(long_walk.ds) || !in_32(lower.dx) || !in_32(lower.ds) ||
        !in_32(upper.dx) || !in_32(upper.ds)) {
        out.dropped = true;
        return out;
    }
    const int64_t first_row = p0.y > 0 ? p0.y : 0;
    const int64_t end_row = top.y < height ? top.y : height;
    for (int64_t r = first_row; r < end_row; ++r) {
        const int64_t k = r - p0.y;
        const int64_t long_x = long_walk.x0 + k * long_walk.dx, long_s = long_walk.s0 + k * long_walk.ds;
        const Walk &side = r < middle.y ? lower : upper;
        const int64_t ks = r - side.y0;
        const int64_t short_x = side.x0 + ks * side.dx, short_s = side.s0 + ks * side.ds;
        const int64_t left_x = middle_left ? short_x : long_x, left_s = middle_left ? short_s : long_s;
        const int64_t right_x = middle_left ? long_x : short_x;
        const int64_t L = left_x >> 8, R = right_x >> 8;
        for (int64_t col = L > 0 ? L : 0; col < R && col < width; ++col) {
            const int64_t s = left_s + (col - L) * step;
            ok = ok && in_32((col - L) * step) && in_32(s);
            out.index[static_cast<size_t>(r * width + col)] = clamp_index(s);
        }
    }
    return out;
}

class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}
    int32_t between(int64_t low, int64_t high)
    {
        return static_cast<int32_t>(low + static_cast<int64_t>(engine_() % static_cast<uint64_t>(high - low + 1)));
    }

private:
    std::mt19937 engine_;
};

// Corners near the target, at medium range, anywhere in +-100,000, or a mix of the
// three, so that visible, clipped, long thin and overflowing triangles all occur.
RayVertex random_corner(Random &random, int32_t kind, int32_t width, int32_t height)
{
    int32_t x, y;
    switch (kind) {
    case 0:
        x = random.between(-8, width + 8);
        y = random.between(-8, height + 8);
        break;
    case 1:
        x = random.between(-300, 300);
        y = random.between(-300, 300);
        break;
    default:
        x = random.between(-100000, 100000);
        y = random.between(-100000, 100000);
        break;
    }
    return RayVertex{x, y, random.between(0, 255)};
}

// Draws the corners v in each of their three rotations on a sentinel target and
// compares every pixel with the expected picture; reports the first difference.
::testing::AssertionResult same_in_every_rotation(const RayVertex (&v)[3], const Expected &expected, int32_t width,
                                                  int32_t height)
{
    for (int32_t rotation = 0; rotation < 3; ++rotation) {
        SentinelTarget target(width, height);
        ray_vertices[0] = v[rotation];
        ray_vertices[1] = v[(rotation + 1) % 3];
        ray_vertices[2] = v[(rotation + 2) % 3];
        fill_triangle(0, 1, 2);
        if (!target.margins_intact()) {
            return ::testing::AssertionFailure() << "rotation " << rotation << " wrote outside the target";
        }
        for (int32_t r = 0; r < height; ++r) {
            for (int32_t c = 0; c < width; ++c) {
                const int32_t want = expected.index[static_cast<size_t>(r) * width + c];
                const int32_t seen = entry_at(target, c, r);
                if (seen != want) {
                    return ::testing::AssertionFailure()
                           << "rotation " << rotation << " (" << v[0].x << "," << v[0].y << "," << v[0].shade << ") ("
                           << v[1].x << "," << v[1].y << "," << v[1].shade << ") (" << v[2].x << "," << v[2].y
                           << "," << v[2].shade << ") on " << width << "x" << height << ", column " << c << " row "
                           << r << ": entry " << seen << ", want " << want;
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(RasterizerFuzz, MatchesReferenceInEveryRotation)
{
    build_light_ramp();
    Random random(20240611);
    int64_t defined = 0, drawn = 0, undefined = 0, dropped = 0;
    const int32_t TRIANGLES = 200000;
    for (int32_t n = 0; n < TRIANGLES; ++n) {
        const int32_t width = random.between(1, 24), height = random.between(1, 24);
        const int32_t mode = random.between(0, 4);
        RayVertex v[3];
        for (RayVertex &corner : v) {
            corner = random_corner(random, mode == 3 ? random.between(0, 2) : (mode == 4 ? 0 : mode), width, height);
        }
        if (mode == 4) {
            // A sliver: area2 of 1 over up to 100,000 rows, so steep shade
            // gradients and steps that leave 32 bits occur.
            const int32_t rows = random.between(1, 100000);
            v[1] = RayVertex{v[0].x + 1, v[0].y - rows, v[1].shade};
            v[2] = RayVertex{v[0].x + 1, v[0].y - rows + 1, v[2].shade};
        }
        const Expected expected = reference(v[0], v[1], v[2], width, height);
        // The limits drop only triangles whose 32-bit arithmetic would overflow.
        ASSERT_FALSE(expected.defined_32 && expected.dropped) << "triangle " << n;
        defined += expected.defined_32;
        dropped += expected.dropped;
        ASSERT_TRUE(same_in_every_rotation(v, expected, width, height)) << "triangle " << n;
        const bool any = std::any_of(expected.index.begin(), expected.index.end(), [](int32_t i) { return i >= 0; });
        drawn += any;
        undefined += !expected.defined_32;
    }
    // The mix must exercise both sides: pictures drawn, and triangles whose 32-bit
    // arithmetic would overflow.
    EXPECT_GT(defined, TRIANGLES / 2);
    EXPECT_GT(drawn, TRIANGLES / 8);
    EXPECT_GT(undefined, TRIANGLES / 10);
    EXPECT_GT(dropped, 1000);
}

// Corner shades up to the ends of the rasterizer's range on wide targets, so that
// span shades come near the 32-bit limits: whichever row loop a triangle takes, the
// pixels match the 64-bit reference in every rotation.
TEST(RasterizerFuzz, ExtremeShadesMatchReference)
{
    build_light_ramp();
    Random random(4242);
    const int32_t SHADE_END = CORNER_LIMIT - 1;
    int64_t drawn = 0;
    for (int32_t n = 0; n < 20000; ++n) {
        const int32_t width = random.between(1, 300), height = random.between(1, 6);
        RayVertex v[3];
        for (RayVertex &corner : v) {
            const int32_t kind = random.between(0, 3);
            const int32_t shade = kind == 0 ? SHADE_END
                                            : (kind == 1 ? -SHADE_END - 1
                                                         : (kind == 2 ? random.between(-SHADE_END, SHADE_END)
                                                                      : random.between(0, 255)));
            corner = RayVertex{random.between(-4 * width, 5 * width), random.between(-8, height + 8), shade};
        }
        const Expected expected = reference(v[0], v[1], v[2], width, height);
        ASSERT_TRUE(same_in_every_rotation(v, expected, width, height)) << "triangle " << n;
        const bool any = std::any_of(expected.index.begin(), expected.index.end(), [](int32_t i) { return i >= 0; });
        drawn += any;
    }
    EXPECT_GT(drawn, 20000 / 5) << "triangles that wrote a pixel";
}

// Triangles on targets that are exactly their buffer, so rows end in its last eight
// pixels, where a short row may not borrow pixels after its end: the pixels match
// the reference, and an access past the last pixel faults. Targets of fewer than
// eight pixels never take the short row loop.
TEST(RasterizerFuzz, RowsInTheBuffersLastPixels)
{
    build_light_ramp();
    const int32_t sizes[][2] = {
        {1, 8}, {8, 1},                   // exactly one block of eight
        {1, 9}, {9, 1}, {3, 3}, {2, 5},   // one block and a little
        {13, 5}, {40, 3}, {8, 8},         // several rows that end in the last block
        {7, 1}, {1, 7}, {2, 3},           // fewer than eight pixels
    };
    Random random(7117);
    int64_t last_pixel_written = 0;
    for (const auto &size : sizes) {
        const int32_t width = size[0], height = size[1];
        for (int32_t n = 0; n < 400; ++n) {
            RayVertex v[3];
            for (RayVertex &corner : v) {
                corner = RayVertex{random.between(-3, width + 3), random.between(-3, height + 3), random.between(0, 255)};
            }
            if (n == 0) {
                // A triangle over the whole target: every row runs to the last column.
                v[0] = RayVertex{-2, -2, 40};
                v[1] = RayVertex{3 * width + 8, -2, 250};
                v[2] = RayVertex{-2, 3 * height + 8, 90};
            }
            const Expected expected = reference(v[0], v[1], v[2], width, height);
            GuardedTarget target(width, height);
            ray_vertices[0] = v[0];
            ray_vertices[1] = v[1];
            ray_vertices[2] = v[2];
            fill_triangle(0, 1, 2);
            for (int32_t r = 0; r < height; ++r) {
                for (int32_t c = 0; c < width; ++c) {
                    ASSERT_EQ(entry_of(target.at(c, r)), expected.index[static_cast<size_t>(r) * width + c])
                        << "triangle " << n << " (" << v[0].x << "," << v[0].y << "," << v[0].shade << ") ("
                        << v[1].x << "," << v[1].y << "," << v[1].shade << ") (" << v[2].x << "," << v[2].y << ","
                        << v[2].shade << ") on " << width << "x" << height << ", column " << c << " row " << r;
                }
            }
            last_pixel_written += target.at(width - 1, height - 1) != SENTINEL;
        }
    }
    // Enough triangles must reach the very last pixel, or the test shows little.
    EXPECT_GT(last_pixel_written, 200) << "triangles that wrote the target's last pixel";
}

TEST(RasterizerFuzz, SpansMatchPerPixelFormula)
{
    build_light_ramp();
    Random random(99);
    for (int32_t n = 0; n < 200000; ++n) {
        const int32_t width = random.between(1, 40), height = random.between(1, 3);
        SentinelTarget target(width, height);
        const bool close_by = random.between(0, 1) == 0;
        const int32_t reach = close_by ? (width + 8) * 256 : 100000 * 256;
        const RayVertex left{random.between(-reach, reach), random.between(-1, height), random.between(0, 255 * 256 + 255)};
        const RayVertex right{random.between(-reach, reach), 0, 0};
        const int32_t step_reach = random.between(0, 2) == 0 ? 1 << 20 : 4000;
        const int32_t step = random.between(-step_reach, step_reach);
        fill_span(left, right, step);
        ASSERT_TRUE(target.margins_intact()) << "span " << n;
        const int32_t L = left.x >> 8, R = right.x >> 8;
        for (int32_t r = 0; r < height; ++r) {
            for (int32_t c = 0; c < width; ++c) {
                const bool inside = r == left.y && c >= L && c < R;
                const int32_t want = inside ? clamp_index(left.shade + static_cast<int64_t>(c - L) * step) : -1;
                ASSERT_EQ(entry_at(target, c, r), want)
                    << "span " << n << ": left " << left.x << " right " << right.x << " row " << left.y << " shade "
                    << left.shade << " step " << step << ", column " << c << " row " << r;
            }
        }
    }
}

} // namespace
