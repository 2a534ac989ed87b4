// The ray fan renderer: the vertices of a worked fan, glow decay and the dark-frame
// rule, the stacking of fans, numbers that leave 32 bits, and a checksum of whole
// frames that must come out the same in the native and the 32-bit Windows build.
#include "render_target.h"

#include "bench/bench_desktop.h"

#include "host/clock.h"
#include "host/overlay.h"
#include "host/watch.h"
#include "render/fan.h"
#include "render/light.h"
#include "render/ramp.h"
#include "render/rasterizer.h"
#include "tracking/census.h"
#include "tracking/glow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const HWND DESKTOP = handle(0xD35C);

// A census of its own with frame step 1.0 at phase 0.0; the program's records go
// back afterwards.
class FanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame_step = 1.0f;
        ray_phase = 0.0f;
        desktop_window = DESKTOP;
        window_census.count = 0;
    }

private:
    ProgramStateGuard saved_;
};

const ScreenGeometry SCREEN_800 = {0, 0, 800, 600, 800, 600};
const RECT EXAMPLE_RECT = {100, 50, 500, 350};
const ScreenBox SCREEN_800_BOX = {0, 0, 800, 600};
const WindowBox EXAMPLE_BOX = {100, 50, 500, 350};

TEST_F(FanTest, WorkedExampleVertices)
{
    const FanShape fan = fan_shape(EXAMPLE_BOX, SCREEN_800_BOX);
    ASSERT_TRUE(fan.drawable);
    EXPECT_EQ(fan.apex_x, 25);
    EXPECT_EQ(fan.apex_y, 749);
    EXPECT_EQ(fan.reach_x, 311);
    EXPECT_EQ(fan.reach_y, 376);
    EXPECT_EQ(fan_brightness(1.0f - 1.0f * GLOW_DECAY), 223);

    struct Ray {
        int32_t ray;
        RayVertex apex, near_rim, far_rim;
    };
    const Ray rays[] = {
        {12, {25, 749, 1}, {377, 687, 1}, {366, 683, 1}},   // wobble 45 and 35, level 0
        {13, {25, 749, 28}, {366, 683, 1}, {355, 680, 1}},  // rising: 223 / 8
        {20, {25, 749, 224}, {283, 668, 1}, {274, 666, 1}}, // wobble -45 and -53, level S
        {112, {25, 749, 224}, {85, 381, 1}, {79, 392, 1}},  // 64 sin(7 pi) truncates to 0
        {113, {25, 749, 168}, {79, 392, 1}, {74, 403, 1}},  // falling: 6 x 223 / 8
        {119, {25, 749, 1}, {52, 437, 1}, {49, 439, 1}},    // level 0
    };
    for (const Ray &r : rays) {
        RayVertex corners[3] = {};
        ASSERT_TRUE(fan_ray_corners(fan, r.ray, 223, fan_wobble(0.0f), corners)) << "ray " << r.ray;
        EXPECT_TRUE(vertex_is(corners[0], r.apex)) << "ray " << r.ray << " apex";
        EXPECT_TRUE(vertex_is(corners[1], r.near_rim)) << "ray " << r.ray << " rim of its own angle";
        EXPECT_TRUE(vertex_is(corners[2], r.far_rim)) << "ray " << r.ray << " rim of the next angle";
    }
}

// The whole frame of the worked example against the same fan drawn ray by ray at
// S = 223; at 222 or 224 it differs, so the frame shows the brightness.
TEST_F(FanTest, WorkedExampleFrame)
{
    OwnedFrame frame(SCREEN_800);
    const HWND window = handle(0xE1);
    set_census({{window, EXAMPLE_RECT, 1.0f}});
    render_light();
    EXPECT_EQ(bits(glow_entry_for(window)->glow), bits(0.96f)) << glow_entry_for(window)->glow;
    EXPECT_TRUE(vertex_is(ray_vertices[0], {25, 749, 1}));
    EXPECT_TRUE(vertex_is(ray_vertices[1], {52, 437, 1}));
    EXPECT_TRUE(vertex_is(ray_vertices[2], {49, 439, 1}));
    const std::vector<uint32_t> rendered = frame.pixels();
    EXPECT_GT(frame.lit_count(), 20000);

    const FanShape fan = fan_shape(EXAMPLE_BOX, SCREEN_800_BOX);
    for (int32_t brightness : {222, 223, 224}) {
        clear_frame();
        for (int32_t ray = FIRST_RAY; ray <= LAST_RAY; ++ray) {
            ASSERT_TRUE(fan_ray_corners(fan, ray, brightness, fan_wobble(0.0f), ray_vertices));
            fill_triangle(0, 2, 1);
        }
        EXPECT_EQ(frame.pixels() == rendered, brightness == 223) << "brightness " << brightness;
    }
}

TEST_F(FanTest, BrightnessOfAGlow)
{
    struct Case {
        float glow;
        int32_t brightness;
    };
    // clang-format off
    const Case cases[] = {
        {1.0f, 233},
        {0.96f, 223},               // 223.68
        {0.0f, 0},
        {NAN_F, 0},                 // not finite: drawn as 0
        {INF_F, 0},
        {-INF_F, 0},
        {1.0e30f, MAX_BRIGHTNESS},  // finite but far too bright: held
        {100.0f, 23300},
    };
    // clang-format on
    for (const Case &c : cases) {
        EXPECT_EQ(fan_brightness(c.glow), c.brightness) << "glow " << c.glow;
    }
}

// Each row: one window's glow and the frame step before render_light, the glow it
// must keep, and whether the frame keeps light (the dark flag cleared).
struct DecayCase {
    const char *what;
    float glow;
    float step;
    float glow_after;
    bool lit;
};

TEST_F(FanTest, DecayAndTheDarkFrame)
{
    const DecayCase cases[] = {
        {"a glow of 0.0 stays 0.0, the frame ends cleared", 0.0f, 1.0f, 0.0f, false},
        {"a glow reaching exactly 0.0 is kept", 0.04f, 1.0f, 0.0f, true},
        {"a frame step of 0.0 keeps a glow of 0.0", 0.0f, 0.0f, 0.0f, true},
        {"a glow falling below 0.0 is held at 0.0", 0.03f, 1.0f, 0.0f, false},
        {"a longer pass decays more", 0.5f, 2.5f, 0.5f - 2.5f * 0.04f, true},
        {"a glow that is not a number becomes 0.0", NAN_F, 1.0f, 0.0f, false},
        {"a frame step that is not a number", 0.5f, NAN_F, 0.0f, false},
        {"an infinite glow becomes 0.0", INF_F, 1.0f, 0.0f, false},
    };
    OwnedFrame frame(SCREEN_800);
    for (const DecayCase &c : cases) {
        const HWND window = handle(0xE2);
        set_census({{window, EXAMPLE_RECT, c.glow}});
        frame_step = c.step;
        render_light();
        EXPECT_EQ(bits(glow_entry_for(window)->glow), bits(c.glow_after)) << c.what;
        EXPECT_EQ(frame.lit_count() > 0, c.lit) << c.what;
    }
}

TEST_F(FanTest, FramesWithNothingToDraw)
{
    OwnedFrame frame(SCREEN_800);
    // An empty census: the junk left in the buffer is cleared.
    render_light();
    EXPECT_EQ(frame.lit_count(), 0);

    // Every window at 0.0: fans at shade 1, then the final clear.
    set_census({{handle(0xE3), EXAMPLE_RECT, 0.0f}, {handle(0xE4), RECT{300, 300, 700, 500}, 0.0f}});
    render_light();
    EXPECT_EQ(frame.lit_count(), 0);

    // The desktop window is passed over: its glow is not decayed and nothing is drawn.
    set_census({{desktop_window, RECT{0, 0, 800, 600}, 1.0f}});
    render_light();
    EXPECT_EQ(frame.lit_count(), 0);
    EXPECT_EQ(glow_entry_for(desktop_window)->glow, 1.0f);

    // A minimized window's fan lies wholly off the screen, but its glow decays.
    set_census({{handle(0xE5), RECT{-32000, -32000, -31840, -31972}, 1.0f}});
    render_light();
    EXPECT_EQ(frame.lit_count(), 0);
    EXPECT_EQ(bits(glow_entry_for(handle(0xE5))->glow), bits(0.96f));
}

TEST_F(FanTest, HigherWindowsFanCoversTheLowerOne)
{
    OwnedFrame frame(SCREEN_800);
    const CensusWindow high{handle(0xE6), RECT{200, 100, 600, 400}, 1.0f};
    const CensusWindow low{handle(0xE7), RECT{150, 80, 450, 300}, 0.5f};
    set_census({high});
    render_light();
    const std::vector<uint32_t> high_only = frame.pixels();
    set_census({low});
    render_light();
    const std::vector<uint32_t> low_only = frame.pixels();
    set_census({high, low});
    render_light();
    const std::vector<uint32_t> &both = frame.pixels();

    int64_t overlap = 0;
    for (size_t i = 0; i < both.size(); ++i) {
        if (high_only[i] != 0) {
            ASSERT_EQ(both[i], high_only[i]) << "pixel " << i << " of the higher fan";
            overlap += low_only[i] != 0 && low_only[i] != high_only[i];
        } else {
            // Elsewhere the lower fan shows, unless the higher one wrote entry 0 there.
            ASSERT_TRUE(both[i] == low_only[i] || both[i] == 0) << "pixel " << i;
        }
    }
    EXPECT_GT(overlap, 1000);

    // A lit lower fan under a higher one at 0.0: the higher fan's shade-1 pixels
    // stay in the frame and cover the lit ones.
    set_census({{high.handle, high.rect, 0.0f}, low});
    render_light();
    for (size_t i = 0; i < both.size(); ++i) {
        if (high_only[i] != 0) {
            ASSERT_TRUE(both[i] == light_ramp.entries[1] || both[i] == 0) << "pixel " << i;
        }
    }
}

// Rims beyond the 32-bit range drop their ray; absurd rectangles drop the fan.
TEST_F(FanTest, NumbersBeyondThirtyTwoBits)
{
    const RECT absurd = {INT32_MIN, 0, INT32_MAX, 100};
    EXPECT_FALSE(fan_shape({INT32_MIN, 0, INT32_MAX, 100}, SCREEN_800_BOX).drawable);
    EXPECT_FALSE(fan_shape({INT32_MAX - 500, 0, INT32_MAX, 100}, {INT32_MIN + 10, 0, 800, 600}).drawable);

    FanShape fan{2000000000, 749, 200000000, 376, 600, true};
    RayVertex corners[3] = {{7, 7, 7}, {7, 7, 7}, {7, 7, 7}};
    EXPECT_FALSE(fan_ray_corners(fan, 12, 100, fan_wobble(0.0f), corners)); // cos x 2e8 + 2e9 > 2^31
    EXPECT_TRUE(vertex_is(corners[0], {7, 7, 7}) && vertex_is(corners[1], {7, 7, 7}));
    EXPECT_TRUE(fan_ray_corners(fan, 119, 100, fan_wobble(0.0f), corners)); // the steepest ray stays inside
    fan = FanShape{0, 749, 300, -2000000000, 2000000000, true};
    EXPECT_FALSE(fan_ray_corners(fan, 100, 100, fan_wobble(0.0f), corners)); // the rim's row leaves 32 bits

    // A phase that is not a number leaves the rim unmoved.
    const FanShape example = fan_shape(EXAMPLE_BOX, SCREEN_800_BOX);
    ASSERT_TRUE(fan_ray_corners(example, 40, 100, fan_wobble(NAN_F), corners));
    const float angle = (40.0f * 3.1415927f) * 0.00390625f;
    EXPECT_EQ(corners[1].x,
              static_cast<int32_t>(static_cast<float>(std::cos(static_cast<double>(angle))) * 311.0f + 25.0f));

    // Whole frames with such windows draw nothing from them and write nowhere else.
    OwnedFrame frame(SCREEN_800);
    set_census(
        {{handle(0xE8), absurd, 1.0f}, {handle(0xE9), RECT{INT32_MAX - 10, INT32_MIN, INT32_MAX, INT32_MAX}, 1.0f}});
    render_light();
    EXPECT_EQ(frame.lit_count(), 0);
}

// 64-bit FNV-1a of whole frames and the glows left behind, over several screens,
// windows, phases and frame steps. The constant was recorded from the native build;
// the 32-bit Windows build must give the same.
TEST_F(FanTest, FramesAreTheSameOnEveryBuild)
{
    // clang-format off
    const std::vector<Scene> scenes = {
        {{0, 0, 800, 600, 800, 600}, 1.0f, 0.0f, DESKTOP,
         {{handle(0xF1), {100, 50, 500, 350}, 1.0f},
          {handle(0xF2), {300, 200, 900, 700}, 0.5f},
          {handle(0xF3), {-50, 400, 200, 650}, 0.2f}}},
        {{-1280, -200, 1280, 720, 1280, 720}, 0.73f, 1.7f, DESKTOP,
         {{handle(0xF4), {-1200, -150, -700, 300}, 0.81f},
          {handle(0xF5), {-600, 0, -100, 500}, 0.33f},
          {handle(0xF6), {-1500, -300, 100, 800}, 0.07f}}},
        {{17, -5, 333, 211, 333, 211}, 2.5f, 123.25f, DESKTOP,
         {{handle(0xF7), {20, 0, 120, 90}, 0.9f}, {handle(0xF8), {200, 100, 340, 210}, 0.65f}}},
        {{0, 0, 1920, 1080, 1920, 1080}, 1.0f, 60000.5f, DESKTOP,
         {{handle(0xF9), {100, 100, 900, 700}, 1.0f},
          {handle(0xFA), {800, 50, 1800, 1000}, 0.6f},
          {handle(0xFB), {1500, 600, 1910, 1070}, 0.45f},
          {handle(0xFC), {0, 0, 1920, 1080}, 0.3f},
          {handle(0xFD), {-32000, -32000, -31840, -31972}, 0.9f}}},
        {{0, 0, 64, 48, 64, 48}, 1.0f, 3.0f, DESKTOP, {{handle(0xFE), {-100, -100, 500, 400}, 1.0f}}},
    };
    // clang-format on
    Checksum checksum;
    for (const Scene &scene : scenes) {
        OwnedFrame frame(scene.screen);
        take_scene(scene);
        for (int pass = 0; pass < 3; ++pass) {
            render_light();
            for (uint32_t pixel : frame.pixels()) {
                checksum.mix(pixel);
            }
            for (const CensusWindow &w : scene.windows) {
                checksum.mix(bits(glow_entry_for(w.handle)->glow));
            }
            ray_phase = ray_phase + frame_step * 0.5f;
        }
    }
    EXPECT_EQ(checksum.hash, 0x4a267d689d736d5full) << std::hex << "frames hash to 0x" << checksum.hash;
}

// A rim vertex moves only where a single-precision value lies within an ulp or so
// of a whole number, a few times in ten thousand: the corners of 4,000 fans over
// varied windows, screens, phases and brightnesses, hashed, catch what a few frames
// would miss (a double-precision step, a fused multiply-add, a different sine).
TEST_F(FanTest, FanCornersAreTheSameOnEveryBuild)
{
    Checksum checksum;
    uint32_t seed = 12345;
    const auto next = [&seed](int32_t span) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(span));
    };
    int32_t rays = 0;
    for (int32_t n = 0; n < 4000; ++n) {
        const int32_t width = 640 + next(5200), height = 480 + next(1800);
        const ScreenBox screen = {next(4000) - 2000, next(1200) - 600, width, height};
        const int32_t left = screen.x + next(width + 400) - 200, top = screen.y + next(height + 200) - 100;
        const FanShape fan = fan_shape({left, top, left + 100 + next(1900), top + 80 + next(1100)}, screen);
        const FanWobble wobble = fan_wobble(static_cast<float>(next(1 << 20)) * 0.0625f);
        const int32_t brightness = next(234);
        for (int32_t ray = FIRST_RAY; ray <= LAST_RAY; ++ray) {
            RayVertex corners[3];
            ASSERT_TRUE(fan_ray_corners(fan, ray, brightness, wobble, corners));
            for (const RayVertex &corner : corners) {
                checksum.mix(static_cast<uint32_t>(corner.x));
                checksum.mix(static_cast<uint32_t>(corner.y));
                checksum.mix(static_cast<uint32_t>(corner.shade));
            }
            ++rays;
        }
    }
    EXPECT_EQ(rays, 4000 * 108);
    EXPECT_EQ(checksum.hash, 0x4aadc8c7537f7b90ull) << std::hex << "fan corners hash to 0x" << checksum.hash;
}

} // namespace
