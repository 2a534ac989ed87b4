// Random triangles and spans against the slow 64-bit reference renderer: every
// rotation draws the same pixels, nothing is written outside the target, and
// wherever the 32-bit arithmetic is defined nothing is dropped.
#include "random.h"
#include "reference_render.h"
#include "render_target.h"

#include "render/ramp.h"
#include "render/rasterizer.h"
#include "render/span.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The reference renderer's picture of the corners v, in their order.
reference::Drawing reference_triangle(const RayVertex (&v)[3], int32_t width, int32_t height)
{
    const auto corner = [](const RayVertex &p) { return reference::Corner{p.x, p.y, p.shade}; };
    return reference::draw_triangle(corner(v[0]), corner(v[1]), corner(v[2]), width, height);
}

// The corners and the target, as a failure prints them.
std::string describe(const RayVertex (&v)[3], int32_t width, int32_t height)
{
    char text[160];
    std::snprintf(text, sizeof text, "(%d,%d,%d) (%d,%d,%d) (%d,%d,%d) on %dx%d", v[0].x, v[0].y, v[0].shade, v[1].x,
                  v[1].y, v[1].shade, v[2].x, v[2].y, v[2].shade, width, height);
    return text;
}

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

// The first pixel whose ramp entry, as entry(column, row) reads it, is not the
// expected picture's.
template <typename Entry>
::testing::AssertionResult same_entries(const reference::Drawing &expected, int32_t width, int32_t height, Entry entry)
{
    for (int32_t r = 0; r < height; ++r) {
        for (int32_t c = 0; c < width; ++c) {
            const int32_t want = expected.index[static_cast<size_t>(r) * width + c];
            const int32_t seen = entry(c, r);
            if (seen != want) {
                return ::testing::AssertionFailure()
                       << "column " << c << " row " << r << ": entry " << seen << ", want " << want;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Draws the corners v in each of their three rotations on a sentinel target and
// compares every pixel with the expected picture; reports the first difference.
::testing::AssertionResult same_in_every_rotation(const RayVertex (&v)[3], const reference::Drawing &expected,
                                                  int32_t width, int32_t height)
{
    for (int32_t rotation = 0; rotation < 3; ++rotation) {
        SentinelTarget target(width, height);
        draw(v[rotation], v[(rotation + 1) % 3], v[(rotation + 2) % 3]);
        if (!target.margins_intact()) {
            return ::testing::AssertionFailure() << "rotation " << rotation << " wrote outside the target";
        }
        const ::testing::AssertionResult same =
            same_entries(expected, width, height, [&](int32_t c, int32_t r) { return entry_at(target, c, r); });
        if (!same) {
            return ::testing::AssertionFailure()
                   << "rotation " << rotation << " " << describe(v, width, height) << ", " << same.message();
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
        const reference::Drawing expected = reference_triangle(v, width, height);
        // The limits drop only triangles whose 32-bit arithmetic would overflow.
        ASSERT_FALSE(expected.fits_32 && expected.dropped) << "triangle " << n;
        defined += expected.fits_32;
        dropped += expected.dropped;
        ASSERT_TRUE(same_in_every_rotation(v, expected, width, height)) << "triangle " << n;
        const bool any = std::any_of(expected.index.begin(), expected.index.end(), [](int32_t i) { return i >= 0; });
        drawn += any;
        undefined += !expected.fits_32;
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
            const int32_t shade =
                kind == 0 ? SHADE_END
                          : (kind == 1 ? -SHADE_END - 1
                                       : (kind == 2 ? random.between(-SHADE_END, SHADE_END) : random.between(0, 255)));
            corner = RayVertex{random.between(-4 * width, 5 * width), random.between(-8, height + 8), shade};
        }
        const reference::Drawing expected = reference_triangle(v, width, height);
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
    // clang-format off
    const int32_t sizes[][2] = {
        {1, 8}, {8, 1},                   // exactly one block of eight
        {1, 9}, {9, 1}, {3, 3}, {2, 5},   // one block and a little
        {13, 5}, {40, 3}, {8, 8},         // several rows that end in the last block
        {7, 1}, {1, 7}, {2, 3},           // fewer than eight pixels
    };
    // clang-format on
    Random random(7117);
    int64_t last_pixel_written = 0;
    for (const auto &size : sizes) {
        const int32_t width = size[0], height = size[1];
        for (int32_t n = 0; n < 400; ++n) {
            RayVertex v[3];
            for (RayVertex &corner : v) {
                corner =
                    RayVertex{random.between(-3, width + 3), random.between(-3, height + 3), random.between(0, 255)};
            }
            if (n == 0) {
                // A triangle over the whole target: every row runs to the last column.
                v[0] = RayVertex{-2, -2, 40};
                v[1] = RayVertex{3 * width + 8, -2, 250};
                v[2] = RayVertex{-2, 3 * height + 8, 90};
            }
            const reference::Drawing expected = reference_triangle(v, width, height);
            GuardedTarget target(width, height);
            draw(v[0], v[1], v[2]);
            ASSERT_TRUE(
                same_entries(expected, width, height, [&](int32_t c, int32_t r) { return entry_of(target.at(c, r)); }))
                << "triangle " << n << " " << describe(v, width, height);
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
        const RayVertex left{random.between(-reach, reach), random.between(-1, height),
                             random.between(0, 255 * 256 + 255)};
        const RayVertex right{random.between(-reach, reach), 0, 0};
        const int32_t step_reach = random.between(0, 2) == 0 ? 1 << 20 : 4000;
        const int32_t step = random.between(-step_reach, step_reach);
        fill_span(left, right, step);
        ASSERT_TRUE(target.margins_intact()) << "span " << n;
        const reference::Drawing expected =
            reference::draw_span(left.y, left.x, left.shade, right.x, step, width, height);
        ASSERT_TRUE(same_entries(expected, width, height, [&](int32_t c, int32_t r) { return entry_at(target, c, r); }))
            << "span " << n << ": left " << left.x << " right " << right.x << " row " << left.y << " shade "
            << left.shade << " step " << step;
    }
}

} // namespace
