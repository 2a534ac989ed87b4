// Faults the program must ride out: its overlay destroyed under it, the display
// layout changing under it, passes that last an hour or no time at all.
#include "desktop_fixture.h"

#include <cmath>

namespace {

class FaultTest : public DesktopTest {
protected:
    HWND lit = nullptr;

    void SetUp() override
    {
        DesktopTest::SetUp();
        sim::set_virtual_screen(0, 0, 320, 240);
        sim::set_desktop_client(320, 240);
        start_up(INSTANCE);
        lit = sim::add_window(framed_window({40, 30, 240, 180}));
        sim::set_foreground(lit);
        start_watch();
    }
};

TEST_F(FaultTest, OverlayDestroyedUnderIt)
{
    watch_pass();
    sim::destroy_window(overlay_window); // a close request cannot do it: it is declined
    int presented = sim::desktop().presentation_count;
    HWND other = sim::add_window(framed_window({100, 100, 200, 200}));
    sim::set_foreground(other);
    for (int pass = 0; pass < 100; pass++) {
        watch_pass();
        pump_message();
    }
    EXPECT_EQ(sim::desktop().presentation_count, presented) << "nothing can be shown any more";
    EXPECT_LE(glow_entry_for(other)->glow, 0.01f) << "but the loop goes on and the glow ran out";
    EXPECT_EQ(last_foreground, other);
}

TEST_F(FaultTest, DisplayLayoutChangedAfterStartUp)
{
    // A monitor appears on the left; windows move onto it and far beyond.
    sim::change_display_layout(-1920, -200, 2240, 1080);
    sim::move_window(lit, {-1800, -150, -900, 700});
    HWND far = sim::add_window(framed_window({5000, 4000, 7000, 6000}));
    sim::set_foreground(far);
    for (int pass = 0; pass < 30; pass++) watch_pass();
    EXPECT_EQ(raster_target.width, 320);
    EXPECT_EQ(raster_target.height, 240);
    const sim::Presentation &p = sim::desktop().last_presentation;
    EXPECT_EQ(p.dst.x, 0);
    EXPECT_EQ(p.size.cx, 320);
    EXPECT_EQ(p.size.cy, 240);
}

TEST_F(FaultTest, AnHourLongPassEndsEveryGlowAtOnce)
{
    HWND other = sim::add_window(framed_window({150, 100, 300, 220}));
    watch_pass();
    sim::set_foreground(other);
    watch_pass();
    sim::set_sleep_overhead(36000000000); // the machine slept for an hour
    watch_pass();
    EXPECT_NEAR(frame_step, 180001.0f, 2.0f); // the hour and the pass's own 20 ms
    EXPECT_TRUE(std::isfinite(ray_phase));
    sim::set_sleep_overhead(0);
    watch_pass(); // draws with the hour-long step
    EXPECT_EQ(glow_entry_for(lit)->glow, 0.0f);
    EXPECT_EQ(glow_entry_for(other)->glow, 0.0f);
    EXPECT_EQ(lit_pixel_count(), 0);
    watch_pass();
    EXPECT_EQ(scene_changed, 0);
}

TEST_F(FaultTest, AZeroStepHoldsEverythingStill)
{
    watch_pass();
    sim::set_sleep_overhead(-200000); // the counter does not move across a pass
    watch_pass();
    ASSERT_EQ(frame_step, 0.0f);
    float glow = glow_entry_for(lit)->glow;
    float phase = ray_phase;
    for (int pass = 0; pass < 50; pass++) watch_pass();
    EXPECT_EQ(glow_entry_for(lit)->glow, glow);
    EXPECT_EQ(ray_phase, phase);
    EXPECT_EQ(scene_changed, 1) << "a glow that cannot fall keeps the loop drawing";
    EXPECT_GT(lit_pixel_count(), 0);
}

} // namespace
