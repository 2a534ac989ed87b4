// The light ramp's entries and the span filler: half-open spans, clipping that
// keeps the shade of cut-off columns, overwriting, and indexes clamped to the table.
#include "render_target.h"

#include "render/ramp.h"
#include "render/span.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

RayVertex span_end(int32_t x, int32_t row = 0, int32_t shade = 0)
{
    return RayVertex{x, row, shade};
}

TEST(LightRamp, SampleEntries)
{
    build_light_ramp();
    struct Sample {
        int32_t e;
        uint32_t alpha, red, green, blue;
    };
    // clang-format off
    const Sample samples[] = {
        {0, 0, 0, 0, 0},           // fully transparent
        {1, 1, 1, 0, 0},           // green and blue truncate to 0
        {5, 5, 5, 4, 1},
        {20, 20, 20, 17, 4},
        {128, 128, 128, 108, 25},
        {255, 255, 255, 216, 51},  // the brightest
    };
    // clang-format on
    for (const Sample &s : samples) {
        const uint32_t expected = (s.alpha << 24) | (s.red << 16) | (s.green << 8) | s.blue;
        EXPECT_EQ(light_ramp.entries[s.e], expected) << "entry " << s.e;
    }
}

TEST(LightRamp, FloatFormulaEqualsIntegerFormAndIsPremultiplied)
{
    build_light_ramp();
    for (uint32_t e = 0; e < 256; ++e) {
        const uint32_t pixel = light_ramp.entries[e];
        const uint32_t alpha = pixel >> 24, red = (pixel >> 16) & 0xFF;
        const uint32_t green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
        EXPECT_EQ(alpha, e);
        EXPECT_EQ(red, e);
        EXPECT_EQ(green, 85 * e / 100) << "entry " << e;
        EXPECT_EQ(blue, e / 5) << "entry " << e;
        EXPECT_LE(green, alpha);
        EXPECT_LE(blue, alpha);
    }
}

// Each row: a span on a 12 x 4 target and the entries it must leave from
// first_column on; every other pixel keeps its sentinel.
struct SpanCase {
    const char *what;
    RayVertex left;
    int32_t right_x;
    int32_t step;
    int32_t row;
    int32_t first_column;
    std::vector<int32_t> entries;
};

TEST(FillSpan, Cases)
{
    build_light_ramp();
    // clang-format off
    const SpanCase cases[] = {
        {"row -1 is below the target", span_end(0, -1, 10 << 8), 12 << 8, 0, -1, 0, {}},
        {"row height is above it", span_end(0, 4, 10 << 8), 12 << 8, 0, 4, 0, {}},
        {"row 0 is written", span_end(0, 0, 10 << 8), 3 << 8, 0, 0, 0, {10, 10, 10}},
        {"row height - 1 is written", span_end(0, 3, 10 << 8), 2 << 8, 0, 3, 0, {10, 10}},
        {"3.9 to 4.1 pixels: column 3 alone", span_end(998, 1, 7 << 8), 1050, 0, 1, 3, {7}},
        {"both ends in column 5", span_end(1280, 1, 7 << 8), 1510, 0, 1, 0, {}},
        {"right end left of the left end", span_end(5 << 8, 1, 7 << 8), 2 << 8, 0, 1, 0, {}},
        {"-0.5 pixels starts at column -1", span_end(-128, 2, 30 << 8), 2 << 8, 5 << 8, 2, 0, {35, 40}},
        {"six cut-off columns advance the shade", span_end(-1536, 0, 0), 1024, 2560, 0, 0, {60, 70, 80, 90}},
        {"right end at width: nothing cut", span_end(9 << 8, 1, 3 << 8), 12 << 8, 256, 1, 9, {3, 4, 5}},
        {"right end past width: cut at width - 1", span_end(10 << 8, 1, 3 << 8), 40 << 8, 256, 1, 10, {3, 4}},
        {"left end at width", span_end(12 << 8, 1, 3 << 8), 20 << 8, 0, 1, 0, {}},
        {"right end at column 0", span_end(-5 << 8, 1, 3 << 8), 0, 0, 1, 0, {}},
        {"right end left of the target", span_end(-9 << 8, 1, 3 << 8), -2 << 8, 0, 1, 0, {}},
        {"shade below the ramp clamps to 0", span_end(0, 2, -3 << 8), 3 << 8, 0, 2, 0, {0, 0, 0}},
        {"shade above the ramp clamps to 255", span_end(0, 2, 300 << 8), 2 << 8, 0, 2, 0, {255, 255}},
        {"a run that leaves the ramp at both ends", span_end(0, 2, -256), 5 << 8, 128 << 8, 2, 0,
         {0, 127, 255, 255, 255}},
        {"one pixel with the largest step", span_end(3 << 8, 1, 255 << 8), 4 << 8, INT32_MAX, 1, 3, {255}},
        {"the widest span with the steepest fall", span_end(INT32_MIN, 3, INT32_MAX), INT32_MAX, INT32_MIN, 3, 0,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    // clang-format on
    for (const SpanCase &c : cases) {
        SentinelTarget target(12, 4);
        fill_span(c.left, span_end(c.right_x), c.step);
        for (int32_t r = 0; r < 4; ++r) {
            for (int32_t col = 0; col < 12; ++col) {
                int32_t expected = -1;
                const int32_t k = col - c.first_column;
                if (r == c.row && k >= 0 && k < static_cast<int32_t>(c.entries.size())) {
                    expected = c.entries[k];
                }
                EXPECT_EQ(entry_at(target, col, r), expected) << c.what << ": row " << r << " column " << col;
            }
        }
        EXPECT_TRUE(target.margins_intact()) << c.what;
    }
}

TEST(FillSpan, OverwritesWithoutBlending)
{
    build_light_ramp();
    SentinelTarget target(12, 4);
    fill_span(span_end(0, 1, 200 << 8), span_end(8 << 8), 0);
    fill_span(span_end(4 << 8, 1, 5 << 8), span_end(12 << 8), 0);
    for (int32_t c = 0; c < 12; ++c) {
        EXPECT_EQ(entry_at(target, c, 1), c < 4 ? 200 : 5) << "column " << c;
    }
}

} // namespace
