// Runs of ramp entries as the span filler and the rasterizer's rows write them:
// every length from 1 to 40, with and without spare pixels after the run, at the
// ramp's ends and with steps whose multiples wrap 16-bit lanes, against the table
// entry of each pixel's shade; the pixels around a run keep their sentinels.
#include "render_target.h"

#include "render/ramp.h"
#include "render/span_run.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int32_t LONGEST = 40;
const int32_t MARGIN = 16; // sentinel pixels before and after the longest run and its spare block

// Each row: a run's first shade and its step (8.8). Every length 1..40 whose
// shades all stay in the ramp is written.
struct RunCase {
    const char *what;
    int32_t shade;
    int32_t step;
};

const RunCase RUN_CASES[] = {
    {"flat at entry 0", 0, 0},
    {"flat at the top shade", RAMP_TOP_SHADE, 0},
    {"up from 0 an entry a pixel", 0, 256},
    {"down from the top an entry a pixel", RAMP_TOP_SHADE, -256},
    {"up by 1/256 from the last fraction of entry 0", 255, 1},
    {"down by 1/256 across entry 1 into entry 0", 270, -1},
    {"the whole ramp in eight pixels: lanes 7 x step near 2^16", 0, 9362},
    {"down the whole ramp in eight pixels", RAMP_TOP_SHADE, -9362},
    {"up to the top shade exactly at pixel 39", RAMP_TOP_SHADE - 39 * 1680, 1680},
    {"odd fraction and step", 0x7F80 + 3, 77},
    {"one pixel, then a step past the ramp that a 16-bit lane would wrap back into it", 10 << 8, 65536 + 256},
    {"one pixel with the largest step", 255 << 8, INT32_MAX},
    {"one pixel with the most negative step", RAMP_TOP_SHADE, INT32_MIN},
};

// The longest run from shade whose shades all lie in the ramp, at most LONGEST.
int32_t longest_in_ramp(int32_t shade, int32_t step)
{
    int32_t count = 0;
    while (count < LONGEST) {
        const int64_t s = shade + static_cast<int64_t>(count) * step;
        if (s < 0 || s > RAMP_TOP_SHADE) {
            break;
        }
        ++count;
    }
    return count;
}

// The first pixel of the block that differs from the table's run of count pixels
// at MARGIN, sentinels elsewhere; empty when all agree.
std::string first_difference(const std::vector<uint32_t> &block, int32_t count, int32_t shade, int32_t step)
{
    for (size_t i = 0; i < block.size(); ++i) {
        const int64_t k = static_cast<int64_t>(i) - MARGIN;
        uint32_t want = SENTINEL;
        if (k >= 0 && k < count) {
            want = light_ramp.entries[(shade + k * step) >> FIXED_SHIFT];
        }
        if (block[i] != want) {
            char text[96];
            std::snprintf(text, sizeof text, "pixel %lld of the run: got 0x%08X, want 0x%08X",
                          static_cast<long long>(k), static_cast<unsigned>(block[i]), static_cast<unsigned>(want));
            return text;
        }
    }
    return {};
}

TEST(RampRun, EveryLengthAgainstTheTable)
{
    build_light_ramp();
    for (const RunCase &c : RUN_CASES) {
        const int32_t longest = longest_in_ramp(c.shade, c.step);
        ASSERT_GE(longest, 1) << c.what;
        for (int32_t count = 1; count <= longest; ++count) {
            for (const bool spare : {false, true}) {
                std::vector<uint32_t> block(MARGIN + LONGEST + RUN_BLOCK + MARGIN, SENTINEL);
                if (spare) {
                    write_run(block.data() + MARGIN, count, c.shade, run_steps(c.step), true);
                } else {
                    fill_ramp_run(block.data() + MARGIN, count, c.shade, c.step);
                }
                const std::string seen = first_difference(block, count, c.shade, c.step);
                EXPECT_TRUE(seen.empty()) << c.what << ", shade " << c.shade << " step " << c.step << ", " << count
                                          << " pixels" << (spare ? " with spare pixels after" : "") << ": " << seen;
            }
        }
    }
}

// Every entry computed in the runs equals the table's, on both sides of each
// entry's shades.
TEST(RampRun, EveryEntryAsTheTableHoldsIt)
{
    build_light_ramp();
    for (const int32_t fraction : {0, 255}) {
        std::vector<uint32_t> run(RAMP_SIZE, SENTINEL);
        fill_ramp_run(run.data(), RAMP_SIZE, fraction, 1 << FIXED_SHIFT);
        for (int32_t e = 0; e < RAMP_SIZE; ++e) {
            EXPECT_EQ(run[e], light_ramp.entries[e]) << "entry " << e << " at fraction " << fraction;
        }
    }
}

} // namespace
