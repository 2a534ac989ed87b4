// render_light takes nothing from the heap once the frame buffer and the glow
// entries exist, counted through the simulated heap over many frames.
#include "desktop_fixture.h"

#include "render/light.h"

namespace {

class RenderAllocTest : public DesktopTest {};

TEST_F(RenderAllocTest, FramesAfterTheFirstAllocateNothing)
{
    sim::set_virtual_screen(0, 0, 1920, 1080);
    measure_screen();
    window_census.count = 8;
    for (int32_t i = 0; i < 8; ++i) {
        window_census.handles[i] = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7000 + i));
        window_census.rects[i] = RECT{100 * i, 60 * i, 700 + 100 * i, 500 + 60 * i};
        glow_entry_for(window_census.handles[i])->glow = 1.0f;
    }

    // The first frame makes the storage: exactly one block of the screen's size.
    const int before = sim::desktop().allocation_count;
    const int64_t bytes_before = sim::desktop().allocated_bytes;
    render_light();
    EXPECT_EQ(sim::desktop().allocation_count, before + 1);
    EXPECT_EQ(sim::desktop().allocated_bytes - bytes_before, int64_t{1920} * 1080 * 4);

    const int after_first = sim::desktop().allocation_count;
    for (int frame = 0; frame < 30; ++frame) {
        ray_phase = ray_phase + 0.5f;
        render_light();
    }
    EXPECT_EQ(sim::desktop().allocation_count, after_first);

    // A window without a glow entry gets one, and that is all.
    window_census.handles[8] = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7100));
    window_census.rects[8] = RECT{50, 50, 400, 300};
    window_census.count = 9;
    render_light();
    EXPECT_EQ(sim::desktop().allocation_count, after_first + 1);
}

} // namespace
