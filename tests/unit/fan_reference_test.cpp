// render_light against the reference renderer, to the bit: every pixel, every glow
// of the table, the ramp and the frame buffer's records, on the benchmark desktops,
// on a scene faded out frame by frame and on thousands of random scenes with
// absurd rectangles, phases, glows, frame steps and screens.
#include "random.h"
#include "rects.h"
#include "reference_render.h"
#include "render_target.h"

#include "bench/bench_desktop.h"

#include "host/clock.h"
#include "host/frame.h"
#include "host/overlay.h"
#include "host/watch.h"
#include "render/light.h"
#include "render/ramp.h"
#include "render/rasterizer.h"
#include "tracking/census.h"
#include "tracking/glow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const HWND DESKTOP = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xDE5C));

std::string describe(const Scene &scene)
{
    std::ostringstream out;
    const ScreenGeometry &s = scene.screen;
    out << "screen (" << s.x << ", " << s.y << ") " << s.width << " x " << s.height << ", step " << scene.step
        << ", phase " << scene.phase << ", desktop " << scene.desktop << ", windows:";
    for (const CensusWindow &w : scene.windows) {
        out << " [" << w.handle << " " << rect_text(w.rect) << " glow " << w.glow << "]";
    }
    return out.str();
}

// The first difference between what render_light left and the reference's frame.
// storage is the block the frame buffer must hold afterwards, or null.
::testing::AssertionResult same_frame(const reference::Frame &want, const uint32_t *storage)
{
    const ScreenGeometry &s = screen_geometry;
    const uint32_t *expected_storage = want.has_storage ? storage : nullptr;
    if (frame_buffer.header != nullptr || frame_buffer.storage != expected_storage ||
        frame_buffer.pixels != expected_storage || frame_buffer.width != s.width || frame_buffer.height != s.height) {
        return ::testing::AssertionFailure()
               << "frame buffer: header " << frame_buffer.header << " pixels " << frame_buffer.pixels << " storage "
               << frame_buffer.storage << " " << frame_buffer.width << " x " << frame_buffer.height << ", want storage "
               << expected_storage;
    }
    if (raster_target.width != want.target_width || raster_target.height != want.target_height ||
        raster_target.pixels != expected_storage) {
        return ::testing::AssertionFailure()
               << "raster target " << raster_target.width << " x " << raster_target.height << " at "
               << raster_target.pixels << ", want " << want.target_width << " x " << want.target_height;
    }
    for (int32_t e = 0; e < RAMP_SIZE; ++e) {
        if (light_ramp.entries[e] != want.ramp[e]) {
            return ::testing::AssertionFailure()
                   << "ramp entry " << e << ": got " << hex(light_ramp.entries[e]) << ", want " << hex(want.ramp[e]);
        }
    }
    for (size_t i = 0; i < want.pixels.size(); ++i) {
        if (storage[i] != want.pixels[i]) {
            return ::testing::AssertionFailure()
                   << "pixel x " << i % s.width << ", y " << i / s.width << " (buffer row, bottom-up): got "
                   << hex(storage[i]) << ", want " << hex(want.pixels[i]);
        }
    }
    size_t n = 0;
    for (const GlowEntry *e = glow_table.head; e; e = e->next, ++n) {
        if (n >= want.glows.size() || e->window != want.glows[n].window || bits(e->glow) != bits(want.glows[n].glow)) {
            return ::testing::AssertionFailure()
                   << "glow entry " << n << " (window " << e->window << "): got " << e->glow << " ("
                   << hex(bits(e->glow)) << ")" << (n < want.glows.size() ? ", want " : ", want no entry")
                   << (n < want.glows.size() ? want.glows[n].glow : 0.0f);
        }
    }
    if (n != want.glows.size()) {
        return ::testing::AssertionFailure() << "glow table holds " << n << " entries, want " << want.glows.size();
    }
    return ::testing::AssertionSuccess();
}

// Corners that no ray can produce (shade -1), left in ray_vertices before a frame.
const RayVertex UNTOUCHED_CORNERS[3] = {{-11, 22, -1}, {-33, 44, -1}, {-55, 66, -1}};

// ray_vertices against the corners that the reference's last ray wrote, or against
// UNTOUCHED_CORNERS when no ray wrote any.
::testing::AssertionResult same_corners(const reference::Frame &want)
{
    for (int v = 0; v < 3; ++v) {
        const RayVertex expected = want.wrote_corners
                                       ? RayVertex{want.corners[v][0], want.corners[v][1], want.corners[v][2]}
                                       : UNTOUCHED_CORNERS[v];
        ::testing::AssertionResult same = vertex_is(ray_vertices[v], expected);
        if (!same) {
            return same << " in ray_vertices[" << v << "]" << (want.wrote_corners ? "" : ", left as they were");
        }
    }
    return ::testing::AssertionSuccess();
}

// Each test sets the records render_light reads and writes; they go back afterwards.
class FanReferenceTest : public ::testing::Test {
protected:
    // Renders frames consecutive frames of the scene with both renderers, the glows
    // carried from frame to frame and the phase advanced as the watch loop does, and
    // reports the first difference. lit and dark count the frames of each kind.
    static ::testing::AssertionResult frames_match(const Scene &scene, int32_t frames, int64_t *lit = nullptr,
                                                   int64_t *dark = nullptr)
    {
        take_scene(scene);
        // The frame's own storage, full of junk that the clear must remove; a screen
        // that no storage can hold gets none, and render_light must make none.
        const bool storage = reference::storage_fits(scene.screen);
        std::vector<uint32_t> pixels(storage ? static_cast<size_t>(scene.screen.width) * scene.screen.height : 0,
                                     SENTINEL);
        frame_buffer = FrameBuffer{nullptr, nullptr, 0, 0, storage ? pixels.data() : nullptr};
        raster_target = RasterTarget{0, 0, storage ? pixels.data() : nullptr};
        for (int32_t f = 0; f < frames; ++f) {
            const reference::Frame want = reference::render_frame(storage);
            std::memcpy(ray_vertices, UNTOUCHED_CORNERS, sizeof ray_vertices);
            render_light();
            ::testing::AssertionResult same = same_frame(want, pixels.data());
            if (same) {
                same = same_corners(want);
            }
            if (!same) {
                return same << " in frame " << f << " of " << describe(scene);
            }
            const bool any = std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p != 0; });
            if (lit && dark) {
                *(any ? lit : dark) += 1;
            }
            ray_phase = ray_phase + frame_step * 0.5f;
        }
        return ::testing::AssertionSuccess();
    }

private:
    ProgramStateGuard saved_;
};

// The benchmark desktops, every window at glow 1.0, then on the smaller desktops a
// second frame at 0.96.
TEST_F(FanReferenceTest, BenchmarkDesktops)
{
    for (const BenchDesktop &d : BENCH_DESKTOPS) {
        Scene scene{{0, 0, d.width, d.height, d.width, d.height}, 1.0f, 0.0f, nullptr, {}};
        for (int32_t i = 0; i < d.windows; ++i) {
            scene.windows.push_back(CensusWindow{bench_window(i), bench_window_rect(d, i), 1.0f});
        }
        const int32_t frames = d.width * d.height <= 1920 * 1080 ? 2 : 1;
        EXPECT_TRUE(frames_match(scene, frames)) << d.width << " x " << d.height << ", " << d.windows;
    }
}

// Overlapping windows on a screen left of and above the primary, faded out over 27
// frames: the glows decay one step a frame (twice for the window that the census
// holds twice), 0.7 lasts 17 frames (0.7 - 17 x 0.04 = 0.02), the rest are dark.
TEST_F(FanReferenceTest, FadeOutFrameByFrame)
{
    Scene scene{{-1280, -300, 1280, 720, 1280, 720},
                1.0f,
                2.25f,
                DESKTOP,
                {{handle(0x3101), RECT{-1200, -250, -500, 300}, 1.0f},
                 {handle(0x3102), RECT{-900, -100, -100, 420}, 0.7f},
                 {DESKTOP, RECT{-1280, -300, 0, 420}, 1.0f},
                 {handle(0x3103), RECT{-32000, -32000, -31840, -31972}, 0.4f},
                 {handle(0x3101), RECT{-1300, 0, -200, 400}, 0.9f}}};
    int64_t lit = 0, dark = 0;
    EXPECT_TRUE(frames_match(scene, 27, &lit, &dark));
    EXPECT_EQ(lit, 17) << "frames with light";
    EXPECT_EQ(dark, 10) << "dark frames";
    EXPECT_EQ(glow_entry_for(DESKTOP)->glow, 1.0f) << "the desktop window's glow is never decayed";
}

// The census holds one window, at glow 1.0; frame step 1.0, no desktop window.
void census_of_one(HWND window, const RECT &rect, float phase)
{
    frame_step = 1.0f;
    ray_phase = phase;
    desktop_window = nullptr;
    set_census({{window, rect, 1.0f}});
}

// Without storage the first frame makes it, of the screen's size, and draws into it.
TEST_F(FanReferenceTest, FirstFrameMakesTheStorage)
{
    screen_geometry = ScreenGeometry{-7, 3, 333, 211, 333, 211};
    census_of_one(handle(0x3301), RECT{20, 10, 200, 150}, 0.75f);
    frame_buffer = FrameBuffer{};
    raster_target = RasterTarget{};
    const reference::Frame want = reference::render_frame(false);
    render_light();
    ASSERT_NE(frame_buffer.storage, nullptr);
    EXPECT_TRUE(same_frame(want, frame_buffer.storage));
}

// Storage made for one screen, then a screen with no pixels: the target takes the
// new size, nothing is drawn or cleared, and the glows still decay.
TEST_F(FanReferenceTest, ScreenWithoutPixelsAfterTheStorageIsMade)
{
    census_of_one(handle(0x3311), RECT{0, 0, 30, 20}, 0.5f);
    std::vector<uint32_t> pixels(40 * 30, SENTINEL);
    frame_buffer = FrameBuffer{nullptr, nullptr, 0, 0, pixels.data()};
    raster_target = RasterTarget{0, 0, pixels.data()};
    const int32_t sizes[][2] = {
        {40, 30}, // the screen the storage was made for
        {0, 30},  // no columns
        {-3, 30}, // a negative width
        {40, 0},  // no rows
        {-4, -2}, // both negative: their product is positive
    };
    for (const auto &size : sizes) {
        screen_geometry = ScreenGeometry{0, 0, size[0], size[1], size[0], size[1]};
        const reference::Frame want = reference::render_frame(true);
        render_light();
        EXPECT_TRUE(same_frame(want, pixels.data())) << size[0] << " x " << size[1];
    }
}

// Frames whose storage is exactly the screen's pixels and ends at a page that
// faults, so a row in the frame's last eight pixels may not borrow any after them:
// long windows whose fans reach the top right corner, which is the buffer's end.
TEST_F(FanReferenceTest, FramesEndingAtAGuardPage)
{
    const int32_t screens[][2] = {{37, 23}, {8, 1}, {1, 9}, {640, 2}};
    int32_t last_pixel_lit = 0;
    for (const auto &size : screens) {
        screen_geometry = ScreenGeometry{0, 0, size[0], size[1], size[0], size[1]};
        for (int32_t left = -1400; left <= 0; left += 50) {
            census_of_one(handle(0x3321), RECT{left, 0, left + 900, 4000}, 0.25f);
            GuardedTarget target(size[0], size[1]);
            frame_buffer = FrameBuffer{nullptr, nullptr, 0, 0, target.pixels()};
            const reference::Frame want = reference::render_frame(true);
            render_light();
            ASSERT_TRUE(same_frame(want, target.pixels())) << size[0] << " x " << size[1] << ", window at " << left;
            last_pixel_lit += target.at(size[0] - 1, size[1] - 1) != 0;
        }
    }
    EXPECT_GT(last_pixel_lit, 8) << "frames whose last pixel is lit";
}

LONG clamp_long(int64_t value)
{
    return static_cast<LONG>(value < INT32_MIN ? INT32_MIN : (value > INT32_MAX ? INT32_MAX : value));
}

ScreenGeometry random_screen(Random &r)
{
    int64_t w, h;
    switch (r.between(0, 11)) {
    case 0: w = r.between(1, 8), h = r.between(1, 8); break;                 // tiny
    case 1: w = r.between(1, 700), h = r.between(1, 24); break;              // a thin strip
    case 2: w = r.between(1, 24), h = r.between(1, 500); break;              // a thin column
    case 3: w = r.between(-3, 0), h = r.between(-3, 300); break;             // empty: no storage
    case 4: w = r.between(23171, 90000), h = r.between(23171, 90000); break; // too big for the byte count
    case 5: w = r.between(300, 900), h = r.between(200, 600); break;         // a small desktop
    default: w = r.between(1, 320), h = r.between(1, 240); break;            // odd small sizes
    }
    // Origins left of and above the primary, and now and then anywhere at all.
    const bool anywhere = r.between(0, 19) == 0;
    const int64_t x = anywhere ? r.between(INT32_MIN, INT32_MAX) : r.between(-4000, 4000);
    const int64_t y = anywhere ? r.between(INT32_MIN, INT32_MAX) : r.between(-2000, 2000);
    return ScreenGeometry{static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(w),
                          static_cast<int32_t>(h), static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

// On or around the screen, empty ones included.
RECT near_rect(Random &r, const ScreenGeometry &s)
{
    const int64_t w = s.width > 0 ? s.width : 100, h = s.height > 0 ? s.height : 100;
    const int64_t left = r.between(-w, 2 * w), top = r.between(-h, 2 * h);
    const int64_t right = left + r.between(0, 2 * w), bottom = top + r.between(0, 2 * h);
    return RECT{clamp_long(s.x + left), clamp_long(s.y + top), clamp_long(s.x + right), clamp_long(s.y + bottom)};
}

RECT random_rect(Random &r, const ScreenGeometry &s)
{
    const int64_t w = s.width > 0 ? s.width : 100, h = s.height > 0 ? s.height : 100;
    int64_t left, top, right, bottom;
    switch (r.between(0, 11)) {
    case 0: // minimized: far off the screen, the rim at or above the apex row
        return RECT{-32000, -32000, -31840, -31972};
    case 1: // any 32-bit numbers at all
        return RECT{clamp_long(r.between(INT32_MIN, INT32_MAX)), clamp_long(r.between(INT32_MIN, INT32_MAX)),
                    clamp_long(r.between(INT32_MIN, INT32_MAX)), clamp_long(r.between(INT32_MIN, INT32_MAX))};
    case 2: // the extremes themselves
        return RECT{INT32_MIN, r.pick({INT32_MIN, 0, INT32_MAX}), INT32_MAX, r.pick({INT32_MIN, 0, INT32_MAX})};
    case 3: // millions of pixels off: corners near the rasterizer's range
        left = r.between(-(1 << 24), 1 << 24), top = r.between(-(1 << 24), 1 << 24);
        right = left + r.between(0, 1 << 24), bottom = top + r.between(0, 1 << 24);
        break;
    case 4: // inverted: right of left, bottom above top
        left = r.between(0, 2 * w), top = r.between(0, 2 * h);
        right = left - r.between(1, w), bottom = top - r.between(1, h);
        break;
    case 5: // on the screen's columns, far below it: rims thousands of rows down
        left = r.between(-w, 2 * w), top = r.between(h, 1 << 21);
        right = left + r.between(0, 2 * w), bottom = top + r.between(0, 2 * h);
        break;
    case 6: // very tall, from around the screen
        left = r.between(-w, 2 * w), top = r.between(-h, 2 * h);
        right = left + r.between(0, 2 * w), bottom = top + r.between(h, 1 << 22);
        break;
    case 7: // far off, as windows on a monitor that has gone
        left = r.between(-200000, 200000), top = r.between(-200000, 200000);
        right = left + r.between(0, 3000), bottom = top + r.between(0, 2000);
        break;
    default: return near_rect(r, s);
    }
    return RECT{clamp_long(s.x + left), clamp_long(s.y + top), clamp_long(s.x + right), clamp_long(s.y + bottom)};
}

Scene random_scene(uint32_t seed)
{
    Random r(seed);
    const float steps[] = {1.0f, 1.0f, 1.0f, 0.0f, -0.0f, -1.0f, NAN_F, 2.5f, 0.25f, 1e30f, INF_F, -INF_F, 24.0f};
    const float phases[] = {0.0f, 0.5f, 1.0e7f, NAN_F, INF_F, -INF_F, 1e30f, -1e30f, -5.25f, 65536.5f, -123.0f};
    const float glows[] = {1.0f,   1.0f,  0.96f, 0.0f,  -0.0f, 0.04f, 0.5f,   NAN_F, INF_F,
                           -INF_F, -0.5f, 1.5f,  1e30f, 1e38f, MAX_F, 1e-40f, 0.3f};
    Scene scene;
    scene.screen = random_screen(r);
    scene.step = r.between(0, 2) == 0 ? r.pick(steps) : static_cast<float>(r.between(0, 3000)) * 0.001f;
    scene.phase = r.between(0, 2) == 0 ? r.pick(phases) : static_cast<float>(r.between(-100000, 100000)) * 0.01f;
    scene.desktop = r.between(0, 1) == 0 ? DESKTOP : nullptr;
    const int64_t count = r.between(0, 6);
    for (int64_t i = 0; i < count; ++i) {
        // A few handles, so that duplicates occur and the glow table stays short;
        // the desktop window and the null handle now and then.
        HWND window = handle(0x3200 + static_cast<uintptr_t>(r.between(0, 11)));
        const int64_t kind = r.between(0, 11);
        window = kind == 0 ? DESKTOP : (kind == 1 ? nullptr : window);
        const RECT rect = random_rect(r, scene.screen);
        const float glow = r.between(0, 2) == 0 ? r.pick(glows) : static_cast<float>(r.between(0, 1000)) * 0.001f;
        scene.windows.push_back(CensusWindow{window, rect, glow});
    }
    return scene;
}

TEST_F(FanReferenceTest, RandomScenes)
{
    const uint32_t SCENES = 2000;
    int64_t lit = 0, dark = 0;
    for (uint32_t seed = 1; seed <= SCENES; ++seed) {
        const Scene scene = random_scene(seed);
        const int32_t frames = 1 + static_cast<int32_t>(seed % 3);
        ASSERT_TRUE(frames_match(scene, frames, &lit, &dark)) << "scene seed " << seed;
    }
    // Both kinds of frame must be common, or the scenes test little.
    EXPECT_GT(lit, (lit + dark) / 5) << "frames with light, of " << lit + dark;
    EXPECT_GT(dark, (lit + dark) / 5) << "dark frames, of " << lit + dark;
}

// Random windows on whole desktops, whose frames are several MiB: a renderer that
// draws a band of rows at a time meets triangles across many band edges.
TEST_F(FanReferenceTest, RandomWindowsOnDesktops)
{
    const ScreenGeometry desktops[] = {
        {0, 0, 1920, 1080, 1920, 1080},
        {-2560, -360, 2560, 1440, 2560, 1440}, // left of and above the primary
        {-7, 0, 333, 4001, 333, 4001},         // a tall, odd column
        {0, -50, 5003, 311, 5003, 311},        // a wide, odd strip
    };
    const uint32_t SCENES = 16;
    int64_t lit = 0, dark = 0;
    for (uint32_t seed = 1; seed <= SCENES; ++seed) {
        Random r(100000 + seed);
        Scene scene{desktops[seed % 4],
                    static_cast<float>(r.between(500, 2000)) * 0.001f,
                    static_cast<float>(r.between(-100000, 100000)) * 0.01f,
                    DESKTOP,
                    {}};
        for (int64_t i = r.between(4, 12); i > 0; --i) {
            // Mostly windows on the screen, now and then one of any kind.
            const RECT rect = r.between(0, 3) == 0 ? random_rect(r, scene.screen) : near_rect(r, scene.screen);
            scene.windows.push_back(CensusWindow{handle(0x3400 + static_cast<uintptr_t>(r.between(0, 15))), rect,
                                                 static_cast<float>(r.between(0, 1000)) * 0.001f});
        }
        ASSERT_TRUE(frames_match(scene, 1, &lit, &dark)) << "desktop scene seed " << 100000 + seed;
    }
    EXPECT_GE(lit, static_cast<int64_t>(SCENES) * 3 / 4) << "frames with light";
}

} // namespace
