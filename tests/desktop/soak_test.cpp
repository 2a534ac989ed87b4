// A simulated week on a busy desktop: a million passes of the watch loop while
// windows open, close, move, minimize and take the foreground at random, handles
// are reused, the foreground goes null, and for a while more windows exist than
// the census holds. The program must come out of it bounded, clean and rippling,
// and its idle pass as cheap as in its first minute.
#include "desktop_fixture.h"
#include "random.h"

#include <bit>
#include <cmath>
#include <set>
#include <vector>

namespace {

class SoakTest : public DesktopTest {
protected:
    Random random{20261208};
    std::vector<HWND> open;      // live windows we made
    std::vector<HWND> destroyed; // handles free for reuse
    std::set<HWND> seen;         // every handle that could have reached the glow table

    int below(int n) { return random.between(0, n - 1); }

    RECT random_rect()
    {
        // Mostly on the screen, sometimes far off it or absurdly large.
        int roll = below(20);
        if (roll == 0) return {-40000 + below(80000), -40000 + below(80000), 30000 + below(9000), 30000 + below(9000)};
        int left = -100 + below(400), top = -100 + below(300);
        return {left, top, left + 20 + below(300), top + 20 + below(200)};
    }

    sim::WindowSpec random_spec()
    {
        static const DWORD styles[] = {WS_OVERLAPPEDWINDOW, WS_CAPTION | WS_SYSMENU, WS_BORDER, WS_POPUP, WS_DLGFRAME};
        static const DWORD ex_styles[] = {0, 0, 0, WS_EX_TOOLWINDOW, WS_EX_TRANSPARENT, WS_EX_DLGMODALFRAME};
        sim::WindowSpec spec;
        spec.style = styles[below(5)] | (below(8) ? WS_VISIBLE : 0);
        spec.ex_style = ex_styles[below(6)];
        spec.rect = random_rect();
        return spec;
    }

    void open_window()
    {
        HWND w;
        if (!destroyed.empty() && below(16) != 0) {
            size_t at = static_cast<size_t>(below(static_cast<int>(destroyed.size())));
            w = sim::add_window_reusing(destroyed[at], random_spec());
            destroyed.erase(destroyed.begin() + static_cast<long>(at));
        } else {
            w = sim::add_window(random_spec());
        }
        open.push_back(w);
        seen.insert(w);
    }

    void close_window()
    {
        if (open.empty()) return;
        size_t at = static_cast<size_t>(below(static_cast<int>(open.size())));
        sim::destroy_window(open[at]);
        destroyed.push_back(open[at]);
        open.erase(open.begin() + static_cast<long>(at));
    }

    HWND any_open() { return open.empty() ? nullptr : open[static_cast<size_t>(below(static_cast<int>(open.size())))]; }

    void random_event()
    {
        switch (below(12)) {
        case 0:
        case 1: open_window(); break;
        case 2:
        case 3: close_window(); break;
        case 4: sim::move_window(any_open(), random_rect()); break;
        case 5: sim::minimize(any_open()); break;
        case 6:
        case 7:
        case 8: sim::set_foreground(any_open()); break;
        case 9: sim::set_foreground(nullptr); break;
        case 10: sim::set_foreground(desktop_window); break;
        case 11: sim::set_foreground(overlay_window); break;
        }
    }

    // Each pass lasts between 20 ms and 1.2 s, 610 ms on average, so a
    // million passes cover a week.
    void random_pass_length() { sim::set_sleep_overhead(below(11800000)); }

    // Entries compared per glow lookup over idle passes with the overlay in the
    // foreground, where the only lookups are the census's: what the table costs a
    // pass, counted rather than timed.
    double compared_per_idle_lookup()
    {
        sim::set_foreground(overlay_window);
        sim::set_sleep_overhead(0);
        for (int pass = 0; pass < 60; pass++) watch_pass();
        const uint64_t compared = glow_table.compared;
        int64_t lookups = 0;
        for (int pass = 0; pass < 64; pass++) {
            watch_pass();
            EXPECT_EQ(scene_changed, 0) << "pass " << pass << " of the measurement drew";
            lookups += window_census.count;
        }
        return lookups ? static_cast<double>(glow_table.compared - compared) / static_cast<double>(lookups) : 0.0;
    }
};

TEST_F(SoakTest, AWeekOnABusyDesktop)
{
    sim::set_virtual_screen(-40, -30, 200, 150);
    sim::set_desktop_client(160, 120);
    start_up(INSTANCE);
    seen.insert(desktop_window);
    seen.insert(nullptr);
    start_watch();
    sim::log_calls(false);
    for (int i = 0; i < 12; i++) open_window();
    const double first_minute = compared_per_idle_lookup();

    const int passes = 1000000;
    // The crowd comes mid-week, so the second half runs with its 1100 entries.
    const int crowd_start = passes / 2, crowd_end = crowd_start + 40;
    std::vector<HWND> crowd;
    for (int pass = 0; pass < passes; pass++) {
        if (below(40) == 0) random_event();
        if (pass == crowd_start) // more windows than the census holds
            for (int i = 0; i < 1100; i++) {
                crowd.push_back(sim::add_window(framed_window({i % 150, i % 100, i % 150 + 40, i % 100 + 30})));
                seen.insert(crowd.back());
            }
        if (pass == crowd_end)
            for (HWND w : crowd) sim::destroy_window(w);
        random_pass_length();
        watch_pass();
        ASSERT_TRUE(std::isfinite(ray_phase)) << "pass " << pass;
        ASSERT_LE(window_census.count, CENSUS_CAPACITY);
    }
    EXPECT_GE(sim::desktop().counter / 10000000, 7 * 24 * 3600) << "a week of counter ticks";

    // Memory: the header, the pixels, one entry per handle ever seen, and the
    // index's slot arrays, each twice the one before.
    EXPECT_LE(glow_table.count, static_cast<int32_t>(seen.size()));
    const uint32_t capacity = glow_table.index.capacity;
    const int index_blocks = 1 + std::countr_zero(capacity / GLOW_INDEX_FIRST_CAPACITY);
    EXPECT_EQ(sim::desktop().allocation_count, 2 + glow_table.count + index_blocks);
    const int64_t index_bytes =
        (2 * static_cast<int64_t>(capacity) - GLOW_INDEX_FIRST_CAPACITY) * static_cast<int64_t>(sizeof(GlowEntry *));
    EXPECT_EQ(sim::desktop().allocated_bytes, static_cast<int64_t>(sizeof(BITMAPINFO)) + 200 * 150 * 4 +
                                                  glow_table.count * static_cast<int64_t>(sizeof(GlowEntry)) +
                                                  index_bytes)
        << glow_table.count << " entries, index of " << capacity << " slots";

    // A lookup compares a few entries, at the end as in the first minute, where a
    // walk of the list would pass hundreds. The index is at most 3/4 full, which
    // makes 2.5 compared per lookup on average over its entries.
    const double last_minute = compared_per_idle_lookup();
    EXPECT_LE(first_minute, 3.0) << "entries compared per lookup in the first minute";
    EXPECT_LE(last_minute, 3.0) << "entries compared per lookup at the end, with " << glow_table.count << " entries; "
                                << first_minute << " in the first minute";

    // Once nothing changes the glows run out and the overlay empties.
    sim::set_foreground(overlay_window);
    sim::set_sleep_overhead(0);
    for (int pass = 0; pass < 60; pass++) watch_pass();
    EXPECT_EQ(scene_changed, 0);
    EXPECT_EQ(lit_pixel_count(), 0);
    for (int32_t i = 0; i < window_census.count; i++) ASSERT_LE(glow_entry_for(window_census.handles[i])->glow, 0.01f);

    // And the ripple still moves by half a radian per nominal pass.
    float before = ray_phase;
    watch_pass();
    EXPECT_NEAR(ray_phase - before, 0.5f, 0.01f);
    EXPECT_LT(std::fabs(ray_phase), 65536.0f);
}

} // namespace
