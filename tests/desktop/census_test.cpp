// The window census over the simulated desktop: which windows receive light, in
// which order, with which rectangles, and what happens past the capacity.
#include "desktop_fixture.h"

#include <vector>

namespace {

class CensusTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        sim::set_virtual_screen(0, 0, 1024, 768);
        sim::set_desktop_client(1024, 740); // a taskbar takes the bottom 28 rows
        start_up(INSTANCE);
    }

    std::vector<HWND> censused() { return {window_census.handles, window_census.handles + window_census.count}; }

    bool taken(const sim::WindowSpec &spec)
    {
        HWND w = sim::add_window(spec);
        take_census(w);
        bool found = false;
        for (HWND h : censused()) found |= h == w;
        sim::destroy_window(w);
        return found;
    }
};

sim::WindowSpec window(DWORD style, DWORD ex_style = 0, RECT rect = {100, 100, 500, 400})
{
    sim::WindowSpec spec;
    spec.style = style;
    spec.ex_style = ex_style;
    spec.rect = rect;
    return spec;
}

const DWORD VISIBLE = WS_VISIBLE;

// Each row: one window and whether the census takes it.
struct StyleCase {
    const char *what;
    sim::WindowSpec spec;
    bool taken;
};

TEST_F(CensusTest, TakesFramedVisibleWindowsOnly)
{
    const RECT desktop_client = {0, 0, 1024, 740};
    const StyleCase cases[] = {
        {"caption", window(VISIBLE | WS_CAPTION), true},
        {"border alone", window(VISIBLE | WS_BORDER), true},
        {"dialog frame alone", window(VISIBLE | WS_DLGFRAME), true},
        {"no frame bit", window(VISIBLE | WS_POPUP | WS_THICKFRAME), false},
        {"invisible", window(WS_CAPTION), false},
        {"tool window with a border only", window(VISIBLE | WS_BORDER, WS_EX_TOOLWINDOW), false},
        {"tool window with a dialog frame", window(VISIBLE | WS_DLGFRAME, WS_EX_TOOLWINDOW), true},
        {"transparent", window(VISIBLE | WS_CAPTION, WS_EX_TRANSPARENT), false},
        {"transparent tool window", window(VISIBLE | WS_CAPTION, WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW), false},
        // A window exactly the desktop's client size is lit whatever its style.
        {"borderless at desktop size", window(VISIBLE | WS_POPUP, 0, desktop_client), true},
        {"invisible at desktop size", window(WS_POPUP, 0, desktop_client), true},
        {"transparent at desktop size", window(VISIBLE, WS_EX_TRANSPARENT, desktop_client), true},
        {"one pixel narrower", window(VISIBLE | WS_POPUP, 0, {0, 0, 1023, 740}), false},
        {"one pixel wider", window(VISIBLE | WS_POPUP, 0, {0, 0, 1025, 740}), false},
        // Framed and exactly the virtual screen's size, which the desktop client is not.
        {"framed at virtual screen size", window(VISIBLE | WS_CAPTION, 0, {0, 0, 1024, 768}), false},
        {"minimized", window(VISIBLE | WS_CAPTION | WS_MINIMIZE, 0, {-32000, -32000, -31840, -31972}), true},
    };
    for (const StyleCase &c : cases) EXPECT_EQ(taken(c.spec), c.taken) << c.what;
}

TEST_F(CensusTest, VirtualScreenSizeGivesWayToTheDesktopOnOneMonitor)
{
    // On one monitor without a taskbar the two sizes agree and the later test wins.
    sim::reset();
    reset_program_state();
    sim::set_virtual_screen(0, 0, 1024, 768);
    sim::set_desktop_client(1024, 768);
    start_up(nullptr);
    EXPECT_TRUE(taken(window(VISIBLE | WS_POPUP, 0, {0, 0, 1024, 768})));
    EXPECT_TRUE(taken(window(VISIBLE | WS_CAPTION, 0, {0, 0, 1024, 768})));
}

TEST_F(CensusTest, VirtualScreenSizeExcludesOnTwoMonitors)
{
    sim::reset();
    reset_program_state();
    sim::set_virtual_screen(-1024, 0, 2048, 768);
    sim::set_desktop_client(1024, 768);
    start_up(nullptr);
    EXPECT_FALSE(taken(window(VISIBLE | WS_CAPTION, 0, {-1024, 0, 1024, 768})));
    EXPECT_TRUE(taken(window(VISIBLE | WS_POPUP, 0, {0, 0, 1024, 768})));
}

TEST_F(CensusTest, SizeTestsUseTheRectangleBeforeInflation)
{
    // 1014 x 730 inflates to exactly the desktop's client size, but that is too late.
    sim::WindowSpec spec = window(VISIBLE | WS_POPUP, 0, {5, 5, 1019, 735});
    spec.client_width = 1008;
    EXPECT_FALSE(taken(spec));
}

TEST_F(CensusTest, ListsWindowsFromTheTopOfTheZOrderWithInflatedRectangles)
{
    HWND bottom = sim::add_window(framed_window({10, 10, 216, 110}, 0));
    HWND middle = sim::add_window(window(VISIBLE | WS_BORDER, 0, {300, 300, 400, 400}));
    HWND hidden = sim::add_window(window(WS_CAPTION));
    HWND top = sim::add_window(window(VISIBLE | WS_CAPTION, 0, {100, 100, 506, 400}));
    sim::set_client_size(top, 400, 270); // no maximize box, 6 wider than its client
    take_census(bottom);                 // any window of the same kind starts the walk at the top
    ASSERT_EQ(window_census.count, 3) << "the overlay and the hidden window are not taken";
    EXPECT_EQ(censused(), (std::vector<HWND>{top, middle, bottom}));
    const RECT &inflated = window_census.rects[0];
    EXPECT_EQ(inflated.left, 95);
    EXPECT_EQ(inflated.top, 95);
    EXPECT_EQ(inflated.right, 511);
    EXPECT_EQ(inflated.bottom, 405);
    // The overlapped window has a maximize box: left alone.
    EXPECT_EQ(window_census.rects[2].left, 10);
    EXPECT_EQ(window_census.rects[2].right, 216);
    static_cast<void>(hidden);
}

TEST_F(CensusTest, NeverTakesTheOverlayEvenFromIt)
{
    HWND lit = sim::add_window(framed_window({10, 10, 210, 110}));
    sim::raise_window(overlay_window);
    take_census(overlay_window);
    ASSERT_EQ(window_census.count, 1);
    EXPECT_EQ(window_census.handles[0], lit);
}

TEST_F(CensusTest, NullOrDesktopStartGivesAnEmptyCensus)
{
    sim::add_window(framed_window({10, 10, 210, 110}));
    window_census.count = 5;
    take_census(nullptr);
    EXPECT_EQ(window_census.count, 0);
    // The desktop window has no siblings to walk.
    take_census(desktop_window);
    EXPECT_EQ(window_census.count, 0);
}

TEST_F(CensusTest, StopsAtTheCapacity)
{
    std::vector<HWND> made;
    for (int i = 0; i < 1100; i++) made.push_back(sim::add_window(framed_window({i, i, i + 300, i + 200})));
    sim::clear_calls();
    take_census(made[0]);
    ASSERT_EQ(window_census.count, CENSUS_CAPACITY);
    // The highest 1024 windows, from the top down: the last made is the highest.
    EXPECT_EQ(window_census.handles[0], made[1099]);
    EXPECT_EQ(window_census.handles[1023], made[1099 - 1023]);
    // The walk stopped there: the overlay and the 1024 taken were asked about, no more.
    int asked = 0;
    for (const std::string &call : sim::desktop().calls) asked += call.rfind("GetWindowRect", 0) == 0;
    EXPECT_EQ(asked, 1 + CENSUS_CAPACITY);
}

// A Z order that changes under the walk can bring it back round to the top; the walk
// gives up after CENSUS_WALK_LIMIT windows, whatever it has taken by then.
TEST_F(CensusTest, EndsOnAZOrderThatComesBackRound)
{
    for (int i = 0; i < 3; i++) sim::add_window(window(WS_CAPTION)); // hidden: never taken
    sim::cycle_z_order(true);
    sim::clear_calls();
    take_census(overlay_window);
    EXPECT_EQ(window_census.count, 0);
    int asked = 0;
    for (const std::string &call : sim::desktop().calls) asked += call.rfind("GetWindowRect", 0) == 0;
    EXPECT_EQ(asked, CENSUS_WALK_LIMIT);
    HWND lit = sim::add_window(framed_window({10, 10, 210, 110}));
    take_census(lit); // it comes round again and again, up to the capacity
    EXPECT_EQ(window_census.count, CENSUS_CAPACITY);
    EXPECT_EQ(window_census.handles[CENSUS_CAPACITY - 1], lit);
}

// Each row: a window's rectangle, client width and styles, and whether it grows.
struct InflationCase {
    const char *what;
    DWORD style;
    DWORD ex_style;
    LONG client_width;
    bool inflated;
};

TEST_F(CensusTest, InflatesThickFramesOnly)
{
    const InflationCase cases[] = {
        {"no maximize box, 6 wider", WS_CAPTION, 0, 400, true},
        {"maximize box, 6 wider", WS_CAPTION | WS_MAXIMIZEBOX, 0, 400, false},
        {"modal frame and maximize box, 6 wider", WS_CAPTION | WS_MAXIMIZEBOX, WS_EX_DLGMODALFRAME, 400, true},
        {"minimize box plays no part", WS_CAPTION | WS_MINIMIZEBOX, 0, 400, true},
        {"5 wider", WS_CAPTION, 0, 401, false},
        {"8 wider", WS_CAPTION, 0, 398, false},
    };
    for (const InflationCase &c : cases) {
        sim::WindowSpec spec = window(VISIBLE | c.style, c.ex_style, {100, 100, 506, 400});
        spec.client_width = c.client_width;
        HWND w = sim::add_window(spec);
        RECT rect = {100, 100, 506, 400};
        inflate_thick_frame(w, rect);
        RECT expected = c.inflated ? RECT{95, 95, 511, 405} : RECT{100, 100, 506, 400};
        EXPECT_TRUE(rect.left == expected.left && rect.top == expected.top && rect.right == expected.right &&
                    rect.bottom == expected.bottom)
            << c.what << ": got (" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ")";
    }
}

} // namespace
