// The watch loop over the simulated desktop, pass by pass, as a user would see it:
// which activations light a window, when the overlay redraws or goes idle, and
// which changes play a sound cue (this executable links the sounded build).
#include "desktop_fixture.h"

#include "sound/cue.h"

#include <mmsystem.h>

#include <cmath>
#include <vector>

namespace {

class WatchTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        sim::set_virtual_screen(0, 0, 800, 600);
        sim::set_desktop_client(800, 572);
        start_up(INSTANCE);
    }

    // The worker's start-up, with whatever is in the foreground now.
    void start() { start_watch(); }

    // The worker's start-up with framed windows opened at these rectangles in
    // this order, the first in the foreground.
    std::vector<HWND> start_with_windows(const std::vector<RECT> &rects)
    {
        std::vector<HWND> windows;
        for (const RECT &rect : rects) windows.push_back(sim::add_window(framed_window(rect)));
        sim::set_foreground(windows[0]);
        start();
        return windows;
    }
    HWND start_with_window() { return start_with_windows({{100, 50, 500, 350}})[0]; }

    // Runs n passes and returns how many of them presented a frame.
    int passes(int n)
    {
        int before = sim::desktop().presentation_count;
        for (int i = 0; i < n; i++) watch_pass();
        return sim::desktop().presentation_count - before;
    }

    float glow_of(HWND window) { return glow_entry_for(window)->glow; }
    size_t cues() { return sim::desktop().sounds_played.size(); }
};

TEST_F(WatchTest, StartsWithAnEmptyFrame)
{
    start_with_window();
    EXPECT_EQ(sim::desktop().presentation_count, 1);
    EXPECT_EQ(lit_pixel_count(), 0);
    EXPECT_EQ(sim::desktop().current_cursor, nullptr) << "the cursor is only loaded, not set";
    EXPECT_EQ(watch_state.previous_rect.left, 100) << "the first rectangle is not inflated";
    EXPECT_EQ(last_foreground, nullptr);
}

TEST_F(WatchTest, OverlayFirstRedrawsForTheCensusOnly)
{
    sim::add_window(framed_window({100, 50, 500, 350}));
    sim::add_window(framed_window({200, 150, 600, 450}));
    sim::set_foreground(overlay_window);
    start();
    EXPECT_EQ(passes(1), 1) << "the census count moved from 0 to 2";
    EXPECT_EQ(window_census.count, 2);
    EXPECT_EQ(lit_pixel_count(), 0) << "nothing glows yet";
    EXPECT_EQ(last_foreground, nullptr);
    EXPECT_EQ(cues(), 0u);
    EXPECT_EQ(passes(1), 1) << "the first idle pass clears and presents";
    EXPECT_EQ(passes(31), 0);
}

TEST_F(WatchTest, AnotherWindowFirstIsLitAtOnce)
{
    HWND a = start_with_window();
    EXPECT_EQ(passes(1), 1);
    EXPECT_EQ(last_foreground, a);
    EXPECT_EQ(glow_of(a), 0.96f) << "set to 1.0, then decayed once by the renderer";
    EXPECT_GT(lit_pixel_count(), 1000);
    ASSERT_EQ(cues(), 1u);
    EXPECT_EQ(sim::desktop().sounds_played[0].flags, static_cast<UINT>(SND_ASYNC | SND_MEMORY));
}

TEST_F(WatchTest, EachActivationLightsItsWindowAndPlaysOneCue)
{
    // A fills more than 0.3 of the screen, B less.
    const std::vector<HWND> windows = start_with_windows({{0, 0, 600, 500}, {500, 300, 700, 450}});
    HWND a = windows[0], b = windows[1];
    passes(3);
    sim::set_foreground(b);
    passes(1);
    EXPECT_EQ(glow_of(b), 0.96f);
    EXPECT_GT(glow_of(a), 0.8f) << "A goes on fading while B lights up";
    ASSERT_EQ(cues(), 2u);
    const unsigned char *short_sound = SoundPair + 8;
    const unsigned char *long_sound = SoundPair + 8 + FIRST_SOUND_BYTES;
    EXPECT_EQ(sim::desktop().sounds_played[0].sound, static_cast<const void *>(short_sound));
    EXPECT_EQ(sim::desktop().sounds_played[1].sound, static_cast<const void *>(long_sound));
    passes(3);
    EXPECT_EQ(cues(), 2u) << "no cue without a change of foreground";
}

TEST_F(WatchTest, ReturningFromTheOverlayIsNoChange)
{
    HWND a = start_with_window();
    passes(5);
    sim::set_foreground(overlay_window);
    passes(2);
    EXPECT_EQ(last_foreground, a);
    sim::set_foreground(a);
    float before = glow_of(a);
    passes(1);
    EXPECT_LT(glow_of(a), before) << "no new glow: it keeps fading";
    EXPECT_EQ(cues(), 1u);
}

TEST_F(WatchTest, DesktopHandsTheForegroundToTheOverlay)
{
    HWND a = start_with_window();
    passes(2);
    sim::set_foreground(desktop_window);
    int calls = sim::desktop().set_foreground_calls;
    EXPECT_EQ(passes(1), 1);
    EXPECT_EQ(sim::desktop().set_foreground_calls, calls + 1);
    EXPECT_EQ(sim::desktop().foreground, overlay_window);
    EXPECT_EQ(sim::desktop().current_cursor, sim::desktop().arrow_cursor);
    EXPECT_EQ(last_foreground, desktop_window);
    EXPECT_EQ(glow_of(desktop_window), 1.0f) << "set, and never decayed: the desktop is not drawn";
    EXPECT_EQ(cues(), 1u) << "no cue for the desktop";
    sim::set_foreground(a);
    passes(1);
    EXPECT_EQ(glow_of(a), 0.96f) << "coming back from the desktop is a change";
    EXPECT_EQ(cues(), 2u);
}

TEST_F(WatchTest, DraggingRedrawsEveryPassWithoutNewGlow)
{
    HWND a = start_with_window();
    passes(40); // long faded
    EXPECT_EQ(passes(40), 1) << "idle: one refresh in 32 passes";
    for (int i = 1; i <= 10; i++) {
        sim::move_window(a, {100 + i, 50 + i, 500 + i, 350 + i});
        EXPECT_EQ(passes(1), 1) << "move " << i;
    }
    EXPECT_EQ(glow_of(a), 0.0f);
    EXPECT_EQ(cues(), 1u);
    EXPECT_EQ(passes(1), 1) << "the first idle pass after drawing clears";
    EXPECT_EQ(lit_pixel_count(), 0);
}

TEST_F(WatchTest, OneOpeningWhileAnotherClosesIsNoRedraw)
{
    HWND b = start_with_windows({{100, 50, 500, 350}, {300, 200, 500, 300}})[1];
    passes(40);
    EXPECT_EQ(passes(16), 0);
    sim::destroy_window(b);
    sim::add_window(framed_window({10, 10, 110, 110}));
    EXPECT_EQ(passes(1), 0) << "the count is all the loop compares";
    sim::add_window(framed_window({20, 20, 120, 120}));
    EXPECT_EQ(passes(1), 1) << "a window more is a change";
}

TEST_F(WatchTest, OnlyAGlowAboveOneHundredthKeepsDrawing)
{
    HWND a = start_with_window();
    passes(40);
    EXPECT_EQ(passes(8), 0);
    glow_entry_for(a)->glow = 0.01f;
    EXPECT_EQ(passes(1), 0);
    glow_entry_for(a)->glow = std::nextafter(0.01f, 1.0f);
    EXPECT_EQ(passes(1), 1);
}

TEST_F(WatchTest, AnActivationDrawsForTwentyFivePassesThenIdles)
{
    HWND b = start_with_windows({{100, 50, 500, 350}, {300, 200, 700, 500}})[1];
    passes(60);
    sim::set_foreground(b); // pass k
    EXPECT_EQ(passes(24), 24) << "passes k to k + 23 draw";
    EXPECT_GT(lit_pixel_count(), 0);
    EXPECT_EQ(passes(1), 1);
    EXPECT_EQ(scene_changed, 1) << "pass k + 24 still draws";
    EXPECT_EQ(glow_of(b), 0.0f);
    EXPECT_EQ(passes(1), 1) << "pass k + 25 clears and presents";
    EXPECT_EQ(scene_changed, 0);
    EXPECT_EQ(lit_pixel_count(), 0);
    EXPECT_EQ(passes(31), 0);
    EXPECT_EQ(passes(1), 1) << "then every 32nd idle pass";
    EXPECT_EQ(passes(32), 1);
}

TEST_F(WatchTest, ANullForegroundIsAChangeLikeAnyOther)
{
    HWND a = start_with_window();
    passes(2);
    sim::set_foreground(nullptr);
    RECT before = watch_state.current_rect;
    EXPECT_EQ(passes(1), 1);
    EXPECT_EQ(last_foreground, nullptr);
    EXPECT_EQ(glow_of(nullptr), 1.0f) << "the null handle's entry is lit but never drawn";
    EXPECT_EQ(window_census.count, 0) << "the census from a null window is empty";
    EXPECT_EQ(cues(), 2u);
    EXPECT_EQ(watch_state.current_rect.left, before.left) << "a failed query keeps the last rectangle";
    sim::set_foreground(a);
    passes(1);
    EXPECT_EQ(glow_of(a), 0.96f);
    EXPECT_EQ(cues(), 3u);
}

TEST_F(WatchTest, ADestroyedForegroundWindowKeepsItsLastRectangle)
{
    HWND a = start_with_window();
    passes(2);
    sim::destroy_window(a);
    sim::set_foreground(a); // the platform still reports it for a moment
    EXPECT_EQ(passes(1), 1) << "the census lost a window";
    EXPECT_EQ(watch_state.current_rect.left, 100);
    EXPECT_EQ(watch_state.current_rect.right, 500);
}

TEST_F(WatchTest, PhaseFollowsTheMeasuredTime)
{
    HWND a = start_with_window();
    passes(1);
    EXPECT_EQ(frame_step, 1.0f);
    EXPECT_EQ(ray_phase, 0.5f);
    sim::set_sleep_overhead(112000); // 11.2 ms of work on top of the 20 ms sleep
    passes(1);
    EXPECT_EQ(frame_step, std::nextafter(1.56f, 2.0f));
    EXPECT_EQ(ray_phase, 0.5f + frame_step * 0.5f);
    // The glow decays by the measured step, not by the pass.
    float glow = glow_of(a);
    passes(1);
    EXPECT_EQ(glow_of(a), glow - frame_step * 0.04f);
}

TEST_F(WatchTest, RippleKeepsMovingForAWeek)
{
    start_with_window();
    sim::log_calls(false);
    // One pass about every 10 s (a stall on top of each sleep) for a simulated week:
    // the phase gains some 250 radians a pass and would pass 65536 within the hour.
    sim::set_sleep_overhead(99923000);
    const int week = 7 * 24 * 360;
    const double turn = 6.283185307179586;
    int uneven = 0;
    for (int pass = 0; pass < week; pass++) {
        float before = ray_phase;
        watch_pass();
        double advance = static_cast<double>(ray_phase) - before;
        double expected = static_cast<double>(frame_step * 0.5f);
        double off = advance - expected;
        off -= turn * std::floor(off / turn + 0.5); // whole turns aside
        uneven += std::fabs(off) > 0.01;
    }
    EXPECT_EQ(uneven, 0) << "passes whose phase did not advance by half the step, whole turns aside";
    EXPECT_LT(std::fabs(ray_phase), 65536.0f);
}

} // namespace
