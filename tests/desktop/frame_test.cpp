// The frame buffer and its presentation over the simulated desktop: one allocation,
// the bottom-up orientation as the overlay shows it, the placement at the virtual
// screen's origin, and the program riding out a heap that says no.
#include "desktop_fixture.h"

#include <string>

namespace {

class FrameTest : public DesktopTest {
protected:
    void start(int x, int y, int width, int height)
    {
        sim::set_virtual_screen(x, y, width, height);
        start_up(INSTANCE);
    }
};

TEST_F(FrameTest, FirstClearAllocatesLaterClearsDoNot)
{
    start(0, 0, 64, 48);
    int before = sim::desktop().allocation_count;
    clear_frame();
    EXPECT_EQ(sim::desktop().allocation_count, before + 1);
    EXPECT_EQ(sim::desktop().allocated_bytes, static_cast<int64_t>(sizeof(BITMAPINFO)) + 64 * 48 * 4);
    uint32_t *storage = frame_buffer.storage;
    ASSERT_NE(storage, nullptr);
    EXPECT_EQ(frame_buffer.pixels, storage);
    EXPECT_EQ(raster_target.pixels, storage);
    storage[17] = 0xFFFFFFFF;
    storage[64 * 48 - 1] = 0x01010000;
    clear_frame();
    clear_frame();
    EXPECT_EQ(sim::desktop().allocation_count, before + 1);
    EXPECT_EQ(frame_buffer.storage, storage);
    EXPECT_EQ(storage[17], 0u);
    EXPECT_EQ(storage[64 * 48 - 1], 0u);
    EXPECT_EQ(frame_buffer.width, 64);
    EXPECT_EQ(frame_buffer.height, 48);
    EXPECT_EQ(raster_target.width, 64);
    EXPECT_EQ(raster_target.height, 48);
}

TEST_F(FrameTest, PresentsAtANegativeOriginWithPerPixelAlpha)
{
    start(-1920, -300, 3840, 1380);
    clear_frame();
    present_frame(overlay_window);
    ASSERT_EQ(sim::desktop().presentation_count, 1);
    const sim::Presentation &p = sim::desktop().last_presentation;
    EXPECT_EQ(p.window, overlay_window);
    EXPECT_FALSE(p.had_dst_dc);
    EXPECT_EQ(p.dst.x, -1920);
    EXPECT_EQ(p.dst.y, -300);
    EXPECT_EQ(p.size.cx, 3840);
    EXPECT_EQ(p.size.cy, 1380);
    EXPECT_EQ(p.src.x, 0);
    EXPECT_EQ(p.src.y, 0);
    EXPECT_EQ(p.key, 0u);
    EXPECT_EQ(p.blend.BlendOp, AC_SRC_OVER);
    EXPECT_EQ(p.blend.BlendFlags, 0);
    EXPECT_EQ(p.blend.SourceConstantAlpha, 255);
    EXPECT_EQ(p.blend.AlphaFormat, AC_SRC_ALPHA);
    EXPECT_EQ(p.flags, static_cast<DWORD>(ULW_ALPHA));
    EXPECT_EQ(lit_pixel_count(), 0) << "a cleared frame is wholly transparent";
    sim::Window w = sim::desktop().windows.at(overlay_window);
    EXPECT_EQ(w.rect.left, -1920);
    EXPECT_EQ(w.rect.top, -300);
    std::string copy;
    for (const std::string &call : sim::desktop().calls)
        if (call.rfind("SetDIBitsToDevice", 0) == 0) copy = call;
    // memory DC, destination 0,0, whole size, source 0,0, start scan 0, all lines, RGB colours.
    EXPECT_NE(copy.find(" 0,0 3840x1380 0,0 0 1380 "), std::string::npos) << copy;
    EXPECT_EQ(copy.substr(copy.size() - 2), " 0") << copy;
}

TEST_F(FrameTest, BufferRowZeroIsTheBottomOfTheScreen)
{
    const int width = 40, height = 30, column = 7;
    start(-10, -20, width, height);
    clear_frame();
    frame_buffer.storage[column] = 0x80806619;                        // buffer row 0
    frame_buffer.storage[(height - 1) * width + column] = 0x14141104; // buffer row height - 1
    present_frame(overlay_window);
    EXPECT_EQ(presented_pixel(column, height - 1), 0x80806619u) << "row 0 shows at the bottom";
    EXPECT_EQ(presented_pixel(column, 0), 0x14141104u) << "the last row shows at the top";
    EXPECT_EQ(lit_pixel_count(), 2);
}

TEST_F(FrameTest, KeepsItsStartUpGeometryAfterALayoutChange)
{
    start(0, 0, 320, 200);
    clear_frame();
    present_frame(overlay_window);
    sim::change_display_layout(-640, 0, 960, 480);
    sim::move_window(overlay_window, {-640, 0, 320, 480});
    clear_frame();
    present_frame(overlay_window);
    const sim::Presentation &p = sim::desktop().last_presentation;
    EXPECT_EQ(p.dst.x, 0);
    EXPECT_EQ(p.dst.y, 0);
    EXPECT_EQ(p.size.cx, 320);
    EXPECT_EQ(p.size.cy, 200);
    EXPECT_EQ(raster_target.width, 320);
}

// Each row: a screen whose storage cannot be had. The program must go on with an
// empty target (nothing can be written) and present nothing.
struct NoStorageCase {
    const char *what;
    int width;
    int height;
    int failing_allocations; // after start-up
};

TEST_F(FrameTest, GoesOnWithNothingDrawnWhenThereAreNoPixels)
{
    const NoStorageCase cases[] = {
        {"the heap refuses the pixels", 800, 600, 1},
        {"zero width", 0, 600, 0},
        {"negative height", 800, -5, 0},
        {"bytes past signed 32 bits", 40000, 20000, 0},
        {"product past 32 bits", 70000, 70000, 0},
    };
    for (const NoStorageCase &c : cases) {
        SCOPED_TRACE(c.what);
        sim::reset();
        reset_program_state();
        start(0, 0, c.width, c.height);
        sim::fail_next_allocations(c.failing_allocations);
        int presented = sim::desktop().presentation_count;
        clear_frame();
        present_frame(overlay_window);
        EXPECT_EQ(frame_buffer.storage, nullptr);
        EXPECT_EQ(raster_target.width, 0);
        EXPECT_EQ(raster_target.height, 0);
        EXPECT_EQ(sim::desktop().presentation_count, presented);
    }
}

TEST_F(FrameTest, RetriesThePixelsOnTheNextClear)
{
    start(0, 0, 32, 16);
    sim::fail_next_allocations(1);
    clear_frame();
    EXPECT_EQ(frame_buffer.storage, nullptr);
    clear_frame();
    ASSERT_NE(frame_buffer.storage, nullptr);
    EXPECT_EQ(raster_target.width, 32);
    present_frame(overlay_window);
    EXPECT_EQ(sim::desktop().presentation_count, 1);
}

TEST_F(FrameTest, GoesOnWithoutAHeader)
{
    sim::set_virtual_screen(0, 0, 32, 16);
    sim::fail_next_allocations(1); // the header is start-up's only allocation
    start_up(INSTANCE);
    EXPECT_EQ(frame_buffer.header, nullptr);
    EXPECT_EQ(sim::desktop().thread_count, 1) << "start-up does not stop early";
    clear_frame();
    present_frame(overlay_window);
    EXPECT_EQ(sim::desktop().presentation_count, 0);
}

} // namespace
