// The window census over the real user32 (run under Wine): real top-level windows of
// chosen styles, one of them active, beside the program's real overlay window. Checks
// which windows the census takes, their Z order, and their rectangles after the
// thick-frame rule, judged with the frame sizes this platform actually gives.
#include "rects.h"
#include "host/overlay.h"
#include "tracking/census.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char WINDOW_CLASS[] = "LightCensusProbe";
const DWORD SETTLE_DEADLINE_MS = 10000; // a loaded machine's Wine takes seconds, an idle one ms
const DWORD POLL_MS = 10;

// Lets the platform deliver what creating, showing and activating windows queued,
// until the activated window is the foreground window and the highest of the
// windows, and the minimized one is iconic; false at the deadline, with what was
// seen instead.
bool settle(HWND active, HWND minimized, const std::vector<HWND> &windows)
{
    DWORD start = GetTickCount();
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        // Activation raises a window on Windows; Wine without a window manager leaves
        // the Z order alone, and serving these messages can restack the windows when
        // the process owns a click-through window, so the test raises it until it stays.
        HWND top = GetWindow(active, GW_HWNDFIRST);
        while (top && std::find(windows.begin(), windows.end(), top) == windows.end())
            top = GetWindow(top, GW_HWNDNEXT);
        if (top != active) SetWindowPos(active, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        bool done = GetForegroundWindow() == active && IsIconic(minimized) && top == active;
        DWORD waited = GetTickCount() - start;
        if (done) return true;
        if (waited >= SETTLE_DEADLINE_MS) {
            std::printf("after %lu ms the foreground window is %p (expected %p), the minimized "
                        "window is %s\n",
                        static_cast<unsigned long>(waited), static_cast<void *>(GetForegroundWindow()),
                        static_cast<void *>(active), IsIconic(minimized) ? "iconic" : "not iconic");
            return false;
        }
        Sleep(POLL_MS);
    }
}

// The census entry of w, or -1.
int census_index(HWND w)
{
    for (int32_t i = 0; i < window_census.count; i++)
        if (window_census.handles[i] == w) return i;
    return -1;
}

// One window of the test desktop. The frame rule applies to a style without a
// maximize box or with a modal frame; whether it fires then depends on the frame
// the platform draws, which the test measures instead of assuming.
struct Row {
    const char *what;
    DWORD style;
    DWORD ex_style;
    RECT rect;         // at creation, screen coordinates; empty: the desktop's client area
    LONG width_change; // added to the desktop-sized rectangle's right edge
    bool minimized;
    bool taken;
    bool rule_applies;
};

const RECT DESKTOP_SIZED = {0, 0, 0, 0};

const DWORD VISIBLE = WS_VISIBLE;
const DWORD DIALOG_FRAME = WS_CAPTION | WS_SYSMENU; // fixed frame, no maximize box

// Created in this order, so each lies above the ones before it. The minimized
// window comes first: minimizing may move a window in the Z order.
// clang-format off
const Row ROWS[] = {
    // A minimized window keeps a frame bit and its visibility, and is lit where the
    // platform parks it.
    {"minimized", WS_OVERLAPPEDWINDOW | VISIBLE, 0, {60, 60, 360, 260}, 0, true, true, false},
    {"overlapped window", WS_OVERLAPPEDWINDOW | VISIBLE, 0, {80, 70, 486, 370}, 0, false, true, false},
    {"borderless popup", WS_POPUP | VISIBLE, 0, {100, 80, 506, 380}, 0, false, false, true},
    {"tool window with a dialog frame", WS_POPUP | WS_DLGFRAME | VISIBLE, WS_EX_TOOLWINDOW,
     {120, 90, 526, 390}, 0, false, true, true},
    {"tool window with a border only", WS_POPUP | WS_BORDER | VISIBLE, WS_EX_TOOLWINDOW,
     {140, 100, 546, 400}, 0, false, false, true},
    {"transparent captioned window", WS_CAPTION | VISIBLE, WS_EX_TRANSPARENT, {160, 110, 566, 410}, 0,
     false, false, true},
    {"hidden captioned window", WS_CAPTION, 0, {180, 120, 586, 420}, 0, false, false, true},
    // A borderless window that exactly covers the desktop's client area is lit...
    {"borderless at the desktop's size", WS_POPUP | VISIBLE, 0, DESKTOP_SIZED, 0, false, true, true},
    // ...and only that size.
    {"one pixel narrower than the desktop", WS_POPUP | VISIBLE, 0, DESKTOP_SIZED, -1, false, false, true},
    {"thick frame without maximize box", WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | VISIBLE, 0,
     {200, 130, 606, 430}, 0, false, true, true},
    {"dialog frame without maximize box", DIALOG_FRAME | VISIBLE, 0, {220, 140, 626, 440}, 0, false, true,
     true},
    {"dialog frame with maximize box", DIALOG_FRAME | WS_MAXIMIZEBOX | VISIBLE, 0, {240, 150, 646, 450}, 0,
     false, true, false},
    {"modal frame with maximize box", DIALOG_FRAME | WS_MAXIMIZEBOX | VISIBLE, WS_EX_DLGMODALFRAME,
     {260, 160, 666, 460}, 0, false, true, true},
};
// clang-format on
const int ROW_COUNT = sizeof ROWS / sizeof ROWS[0];
const int OVERLAPPED_ROW = 1;
const int ACTIVATED_ROW = 9; // the thick-framed window
const int DIALOG_FRAME_ROW = 10;

HWND make_window(const Row &row)
{
    RECT r = row.rect;
    if (same_rect(r, DESKTOP_SIZED))
        r = {0, 0, screen_geometry.desktop_width + row.width_change, screen_geometry.desktop_height};
    HWND w = CreateWindowExA(row.ex_style, WINDOW_CLASS, row.what, row.style, r.left, r.top, r.right - r.left,
                             r.bottom - r.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(w, nullptr) << row.what;
    if (row.minimized) ShowWindow(w, SW_SHOWMINNOACTIVE);
    return w;
}

// One desktop for the whole suite: Wine without a window manager waits 2 s for
// every shown window that is destroyed, so the windows are made once.
class CensusPlatformTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        WNDCLASSEXA window_class = {};
        window_class.cbSize = sizeof(WNDCLASSEXA);
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = instance;
        window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        window_class.lpszClassName = WINDOW_CLASS;
        RegisterClassExA(&window_class);
        // The program's own start-up steps make the overlay: layered, topmost,
        // borderless and exactly the size of the screen.
        measure_screen();
        register_overlay_class(instance);
        create_overlay_window(instance);
        for (const Row &row : ROWS) windows_.push_back(make_window(row));
        HWND active = windows_[ACTIVATED_ROW];
        SetForegroundWindow(active);
        settled_ = settle(active, windows_[0], windows_);
    }

    static void TearDownTestSuite()
    {
        for (HWND w : windows_) DestroyWindow(w);
        windows_.clear();
        DestroyWindow(overlay_window);
        overlay_window = nullptr;
    }

    static std::vector<HWND> windows_; // one per row of ROWS
    static bool settled_;              // the activation and the minimizing have shown
};

std::vector<HWND> CensusPlatformTest::windows_;
bool CensusPlatformTest::settled_ = false;

TEST_F(CensusPlatformTest, TakesFramedVisibleWindowsInZOrderWithPlatformFrames)
{
    HWND active = windows_[ACTIVATED_ROW];
    ASSERT_TRUE(settled_) << "the desktop did not settle (printed above)";
    ASSERT_EQ(GetForegroundWindow(), active);
    // The inflation case must really occur here: a fixed dialog frame is
    // 2 * SM_CXDLGFRAME wider than its client area.
    RECT dialog = {};
    RECT dialog_client = {};
    GetWindowRect(windows_[DIALOG_FRAME_ROW], &dialog);
    GetClientRect(windows_[DIALOG_FRAME_ROW], &dialog_client);
    ASSERT_EQ(dialog.right - dialog.left - dialog_client.right, THICK_FRAME_EXCESS)
        << "SM_CXDLGFRAME " << GetSystemMetrics(SM_CXDLGFRAME) << ": no window here would be inflated";

    measure_screen();
    take_census(GetForegroundWindow());

    for (int i = 0; i < ROW_COUNT; i++) {
        const Row &row = ROWS[i];
        int entry = census_index(windows_[i]);
        EXPECT_EQ(entry != -1, row.taken) << row.what;
        if (entry == -1) continue;
        RECT platform = {};
        RECT client = {};
        GetWindowRect(windows_[i], &platform);
        GetClientRect(windows_[i], &client);
        LONG excess = platform.right - platform.left - client.right;
        RECT expected = platform;
        if (row.rule_applies && excess == THICK_FRAME_EXCESS)
            expected = {platform.left - THICK_FRAME_INFLATION, platform.top - THICK_FRAME_INFLATION,
                        platform.right + THICK_FRAME_INFLATION, platform.bottom + THICK_FRAME_INFLATION};
        EXPECT_TRUE(same_rect(window_census.rects[entry], expected))
            << row.what << ": platform rect " << rect_text(platform) << ", client width " << client.right
            << " (frame excess " << excess << "), census rect " << rect_text(window_census.rects[entry]);
    }

    // Entry 0 is the highest: the raised active window, then the others newest first.
    std::vector<HWND> expected_order = {active};
    for (int i = ROW_COUNT - 1; i >= 0; i--)
        if (ROWS[i].taken && i != ACTIVATED_ROW) expected_order.push_back(windows_[i]);
    std::vector<HWND> seen_order;
    for (int32_t i = 0; i < window_census.count; i++)
        for (HWND w : windows_)
            if (window_census.handles[i] == w) seen_order.push_back(w);
    EXPECT_EQ(seen_order, expected_order) << "census order of this test's windows";
    EXPECT_EQ(census_index(overlay_window), -1) << "the overlay was taken";
}

TEST_F(CensusPlatformTest, TheOverlayIsNeverTakenEvenAsTheStart)
{
    // The overlay is visible and exactly the desktop's size, so only its identity
    // keeps the desktop-size exception, which overrules click-through, from lighting it.
    RECT overlay = {};
    GetWindowRect(overlay_window, &overlay);
    ASSERT_TRUE(IsWindowVisible(overlay_window));
    ASSERT_TRUE(GetWindowLongA(overlay_window, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    ASSERT_EQ(overlay.right - overlay.left, screen_geometry.desktop_width) << rect_text(overlay);
    ASSERT_EQ(overlay.bottom - overlay.top, screen_geometry.desktop_height) << rect_text(overlay);
    HWND framed = windows_[OVERLAPPED_ROW];
    take_census(overlay_window);
    EXPECT_EQ(census_index(overlay_window), -1);
    EXPECT_NE(census_index(framed), -1) << "the walk from the overlay covers the other windows";

    // A framed, layered window, not click-through, standing in as the overlay: taken
    // by the style tests alone, left out only because it is the overlay. Layered and
    // never updated, it stays off screen, so destroying it costs nothing.
    HWND real_overlay = overlay_window;
    Row layered = {"framed layered overlay",
                   WS_OVERLAPPEDWINDOW | VISIBLE,
                   WS_EX_LAYERED | WS_EX_TOPMOST,
                   {30, 30, 330, 230},
                   0,
                   false,
                   false,
                   false};
    overlay_window = make_window(layered);
    take_census(overlay_window);
    EXPECT_EQ(census_index(overlay_window), -1);
    EXPECT_NE(census_index(framed), -1);
    EXPECT_NE(census_index(real_overlay), -1)
        << "no longer the overlay, and exactly the desktop's size: the exception takes it";
    DestroyWindow(overlay_window);
    overlay_window = real_overlay;
}

TEST_F(CensusPlatformTest, DesktopOrNullStartGivesAnEmptyCensus)
{
    window_census.count = 3;
    take_census(nullptr);
    EXPECT_EQ(window_census.count, 0);
    take_census(GetDesktopWindow());
    EXPECT_EQ(window_census.count, 0) << "GetWindow(desktop, GW_HWNDFIRST) is null";
}

} // namespace
