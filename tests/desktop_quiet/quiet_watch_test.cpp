// The quiet build's watch loop: the same lighting as the sounded build, and not a
// single call to the sound library.
#include "desktop_fixture.h"

namespace {

class QuietWatchTest : public DesktopTest {};

TEST_F(QuietWatchTest, LightsEveryActivationWithoutASound)
{
    sim::set_virtual_screen(0, 0, 800, 600);
    start_up(INSTANCE);
    HWND a = sim::add_window(framed_window({0, 0, 600, 500}));
    HWND b = sim::add_window(framed_window({500, 300, 700, 450}));
    sim::set_foreground(a);
    start_watch();
    HWND sequence[] = {a, b, nullptr, a, desktop_window, b};
    for (HWND foreground : sequence) {
        sim::set_foreground(foreground);
        for (int pass = 0; pass < 3; pass++) watch_pass();
    }
    float faded = 1.0f;
    for (int pass = 0; pass < 3; pass++) faded = faded - 0.04f;
    EXPECT_EQ(last_foreground, b);
    EXPECT_EQ(glow_entry_for(b)->glow, faded);
    EXPECT_GT(lit_pixel_count(), 0);
    EXPECT_TRUE(sim::desktop().sounds_played.empty());
    for (const std::string &call : sim::desktop().calls) EXPECT_EQ(call.find("sndPlaySound"), std::string::npos);
}

} // namespace
