// The platform behaviours light relies on, as one source built twice: against the
// real user32 and gdi32 (run under Wine) and against the stand-in in winapi/ (native
// desktop tests). Where the two builds disagree, the stand-in is wrong.
#include "rects.h"
#include <windows.h>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <desktop.h>
#endif

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char CONTRACT_CLASS[] = "LightContract";
const int WALK_LIMIT = 100000; // more top-level windows than any desktop holds
const RECT SENTINEL_RECT = {-7, -8, -9, -10};
// The overlay's extended style, exactly.
const DWORD OVERLAY_EX_STYLE = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;

// Position of w in order, or -1.
int index_of(const std::vector<HWND> &order, HWND w)
{
    for (size_t i = 0; i < order.size(); i++)
        if (order[i] == w) return static_cast<int>(i);
    return -1;
}

class PlatformContract : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        sim::reset(); // a fresh simulated desktop, as every native test starts with
#endif
        instance_ = GetModuleHandleA(nullptr);
        WNDCLASSEXA window_class = {};
        window_class.cbSize = sizeof(WNDCLASSEXA);
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = instance_;
        window_class.lpszClassName = CONTRACT_CLASS;
        // On the platform the class outlives the test; registering it again fails
        // and leaves the first registration in place.
        RegisterClassExA(&window_class);
    }

    void TearDown() override
    {
        for (HWND w : made_)
            if (IsWindow(w)) DestroyWindow(w);
    }

    // Windows stay hidden unless a test needs them shown: Wine without a window
    // manager waits 2 s for every shown window that is hidden or destroyed.
    HWND make(DWORD style, DWORD ex_style = 0, RECT rect = {120, 90, 420, 290})
    {
        HWND w = CreateWindowExA(ex_style, CONTRACT_CLASS, "contract", style, rect.left, rect.top,
                                 rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance_, nullptr);
        EXPECT_NE(w, nullptr) << "CreateWindowExA style " << std::hex << style << " ex " << ex_style;
        made_.push_back(w);
        return w;
    }

    // The top-level windows from the top of from's Z order down; ended records
    // whether the walk reached the null handle.
    std::vector<HWND> walk(HWND from, bool &ended)
    {
        std::vector<HWND> order;
        HWND w = GetWindow(from, GW_HWNDFIRST);
        while (w && static_cast<int>(order.size()) < WALK_LIMIT) {
            order.push_back(w);
            w = GetWindow(w, GW_HWNDNEXT);
        }
        ended = w == nullptr;
        return order;
    }

    HINSTANCE instance_ = nullptr;
    std::vector<HWND> made_;
};

TEST_F(PlatformContract, ZOrderWalkEndsWithNullAndHoldsEachWindowOnce)
{
    HWND first = make(WS_OVERLAPPEDWINDOW);
    HWND second = make(WS_OVERLAPPEDWINDOW);
    HWND third = make(WS_OVERLAPPEDWINDOW);
    bool ended = false;
    std::vector<HWND> order = walk(second, ended);
    ASSERT_TRUE(ended) << "no null handle after " << order.size() << " windows";
    for (HWND w : {first, second, third}) {
        int seen = 0;
        for (HWND h : order) seen += h == w;
        EXPECT_EQ(seen, 1) << "window " << w << " in the walk";
    }
    // A new window enters at the top of its band, so creation order reverses.
    EXPECT_LT(index_of(order, third), index_of(order, second));
    EXPECT_LT(index_of(order, second), index_of(order, first));
    // Every window of the band leads to the same first window.
    EXPECT_EQ(GetWindow(first, GW_HWNDFIRST), GetWindow(third, GW_HWNDFIRST));
}

// A census started at the desktop window or at no window finds nothing.
TEST_F(PlatformContract, DesktopAndNullHandleStartNoWalk)
{
    make(WS_OVERLAPPEDWINDOW);
    HWND desktop = GetDesktopWindow();
    EXPECT_EQ(GetWindow(desktop, GW_HWNDFIRST), nullptr) << "the desktop is the root, not a sibling";
    EXPECT_EQ(GetWindow(desktop, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(nullptr, GW_HWNDFIRST), nullptr);
    EXPECT_EQ(GetWindow(nullptr, GW_HWNDNEXT), nullptr);
    RECT client = SENTINEL_RECT;
    EXPECT_TRUE(GetClientRect(desktop, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_GT(client.right, 0);
    EXPECT_GT(client.bottom, 0);
    EXPECT_TRUE(IsWindowVisible(desktop));
}

// Each row: the styles a window is created with; the platform may add bits of its
// own, but never drops one that was asked for.
struct StyleCase {
    const char *what;
    DWORD style;
    DWORD ex_style;
};

TEST_F(PlatformContract, StylesAndRectangleReadBackAsCreated)
{
    const StyleCase cases[] = {
        {"overlapped window", WS_OVERLAPPEDWINDOW, 0},
        {"popup with a border", WS_POPUP | WS_BORDER, 0},
        {"tool window with a dialog frame", WS_POPUP | WS_DLGFRAME, WS_EX_TOOLWINDOW},
        {"transparent captioned window", WS_CAPTION, WS_EX_TRANSPARENT},
        {"modal frame with a maximize box", WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX, WS_EX_DLGMODALFRAME},
        // The overlay's own styles.
        {"layered click-through topmost tool popup", WS_POPUP, OVERLAY_EX_STYLE},
        {"thick frame", WS_CAPTION | WS_THICKFRAME, 0},
    };
    const RECT rect = {130, 110, 536, 410};
    for (const StyleCase &c : cases) {
        HWND w = make(c.style, c.ex_style, rect);
        DWORD style = static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE));
        DWORD ex_style = static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE));
        EXPECT_EQ(style & c.style, c.style) << c.what << ": read " << std::hex << style;
        EXPECT_EQ(ex_style & c.ex_style, c.ex_style) << c.what << ": read " << std::hex << ex_style;
        // The census measures windows with these two rectangles.
        RECT window = SENTINEL_RECT;
        RECT client = SENTINEL_RECT;
        EXPECT_TRUE(GetWindowRect(w, &window)) << c.what;
        EXPECT_TRUE(same_rect(window, rect)) << c.what << ": window rect " << rect_text(window);
        EXPECT_TRUE(GetClientRect(w, &client)) << c.what;
        EXPECT_TRUE(client.left == 0 && client.top == 0 && client.right >= 0 && client.bottom >= 0 &&
                    client.right <= rect.right - rect.left && client.bottom <= rect.bottom - rect.top)
            << c.what << ": client rect " << rect_text(client);
        DestroyWindow(w);
    }
}

TEST_F(PlatformContract, VisibilityFollowsShowWindow)
{
    HWND w = make(WS_OVERLAPPEDWINDOW);
    HWND front = GetForegroundWindow();
    EXPECT_FALSE(IsWindowVisible(w)) << "created without WS_VISIBLE";
    // Shown as the overlay is: the window in front keeps the foreground.
    EXPECT_FALSE(ShowWindow(w, SW_SHOWNOACTIVATE)) << "ShowWindow reports the window was hidden";
    EXPECT_EQ(GetForegroundWindow(), front) << "the shown window took the foreground";
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_TRUE(GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(ShowWindow(w, SW_HIDE)) << "ShowWindow reports the window was visible";
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_FALSE(GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(PlatformContract, QueriesOnADestroyedWindowFailAndLeaveTheirOutputs)
{
    HWND alive = make(WS_OVERLAPPEDWINDOW);
    HWND dead = make(WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(DestroyWindow(dead));
    EXPECT_FALSE(IsWindow(dead));
    EXPECT_FALSE(DestroyWindow(dead)) << "a second destruction fails";
    RECT window = SENTINEL_RECT;
    RECT client = SENTINEL_RECT;
    EXPECT_FALSE(GetWindowRect(dead, &window));
    EXPECT_TRUE(same_rect(window, SENTINEL_RECT)) << "written: " << rect_text(window);
    EXPECT_FALSE(GetClientRect(dead, &client));
    EXPECT_TRUE(same_rect(client, SENTINEL_RECT)) << "written: " << rect_text(client);
    EXPECT_EQ(GetWindowLongA(dead, GWL_STYLE), 0);
    EXPECT_EQ(GetWindowLongA(dead, GWL_EXSTYLE), 0);
    EXPECT_FALSE(IsWindowVisible(dead));
    EXPECT_EQ(GetWindow(dead, GW_HWNDFIRST), nullptr);
    EXPECT_EQ(GetWindow(dead, GW_HWNDNEXT), nullptr);
    bool ended = false;
    std::vector<HWND> order = walk(alive, ended);
    EXPECT_TRUE(ended);
    EXPECT_EQ(index_of(order, dead), -1) << "a destroyed window left in the Z order";
}

// The pump filters on the overlay: once the overlay is gone every GetMessageA must
// fail at once instead of waiting for a message that can never come. (Were it to
// wait, this test would hang until the test runner's timeout.)
TEST_F(PlatformContract, GetMessageForADestroyedWindowFailsAtOnce)
{
    HWND w = make(WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(DestroyWindow(w));
    MSG msg = {};
    EXPECT_EQ(GetMessageA(&msg, w, 0, 0), -1);
}

TEST_F(PlatformContract, CloseThroughTheDefaultProcedureDestroysTheWindow)
{
    HWND called = make(WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(DefWindowProcA(called, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(called)) << "DefWindowProcA on WM_CLOSE";
    // Alt+F4: SC_CLOSE, which the default procedure sends on as WM_CLOSE.
    HWND keyed = make(WS_OVERLAPPEDWINDOW);
    DefWindowProcA(keyed, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(keyed)) << "DefWindowProcA on SC_CLOSE";

    // The pump's own road: a posted WM_CLOSE, taken with the window as filter and
    // dispatched to the class procedure, which is DefWindowProcA.
    HWND posted = make(WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(PostMessageA(posted, WM_CLOSE, 0, 0));
    MSG msg = {};
    ASSERT_EQ(GetMessageA(&msg, posted, 0, 0), 1);
    EXPECT_EQ(msg.hwnd, posted);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
    DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(posted)) << "dispatched WM_CLOSE";
    EXPECT_EQ(GetMessageA(&msg, posted, 0, 0), -1);
}

// A memory DC with a screen-compatible bitmap selected, as the presentation surface is built.
struct Surface {
    HDC screen;
    HDC memory;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

Surface make_surface(int width, int height)
{
    Surface s;
    s.screen = GetDC(nullptr);
    s.memory = CreateCompatibleDC(s.screen);
    s.bitmap = CreateCompatibleBitmap(s.screen, width, height);
    s.previous = SelectObject(s.memory, s.bitmap);
    return s;
}

BITMAPINFO dib_header(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // positive: bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TEST_F(PlatformContract, UpdateLayeredWindowNeedsALayeredWindow)
{
    const int width = 4;
    const int height = 3;
    Surface s = make_surface(width, height);
    ASSERT_NE(s.bitmap, nullptr);
    ASSERT_NE(s.previous, nullptr);
    HWND plain = make(WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, {0, 0, width, height});
    HWND layered = make(WS_POPUP, OVERLAY_EX_STYLE, {0, 0, width, height});
    // Made and shown as the overlay is: a layered window stays off screen until its first update.
    ShowWindow(layered, SW_SHOWNOACTIVATE);
    POINT destination = {30, 20};
    SIZE size = {width, height};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    EXPECT_FALSE(UpdateLayeredWindow(plain, s.screen, &destination, &size, s.memory, &source, 0, &blend, ULW_ALPHA));
    EXPECT_TRUE(UpdateLayeredWindow(layered, s.screen, &destination, &size, s.memory, &source, 0, &blend, ULW_ALPHA));
    // Every presentation places the overlay: the window moves to the destination.
    RECT placed = SENTINEL_RECT;
    GetWindowRect(layered, &placed);
    EXPECT_TRUE(same_rect(placed, {30, 20, 30 + width, 20 + height})) << "placed at " << rect_text(placed);
}

// The frame buffer is bottom-up: its row 0 must land on the bitmap's bottom row,
// and the alpha byte must survive into the bitmap that UpdateLayeredWindow reads.
TEST_F(PlatformContract, BottomUpDibLandsRowZeroAtTheBottom)
{
    const int width = 6; // bitmap
    const int height = 5;
    const int dib_width = 4; // drawn at (1, 1), leaving a sentinel ring of zeros
    const int dib_height = 3;
    const uint32_t row_colour[dib_height] = {0x80FF0000, 0x4000FF00, 0xFF0000FF}; // ARGB, row 0 first
    Surface s = make_surface(width, height);
    ASSERT_NE(s.bitmap, nullptr);
    std::vector<uint32_t> dib(static_cast<size_t>(dib_width) * dib_height);
    for (int row = 0; row < dib_height; row++)
        for (int column = 0; column < dib_width; column++)
            dib[static_cast<size_t>(row) * dib_width + column] = row_colour[row] | static_cast<uint32_t>(column);
    BITMAPINFO info = dib_header(dib_width, dib_height);
    EXPECT_EQ(SetDIBitsToDevice(s.memory, 1, 1, dib_width, dib_height, 0, 0, 0, dib_height, dib.data(), &info,
                                DIB_RGB_COLORS),
              dib_height);

    // The expected picture, counted from the top: DIB row 0 on the drawn area's
    // bottom row, zeros around it.
    auto expected_argb = [&](int x, int y) -> uint32_t {
        bool inside = x >= 1 && x <= dib_width && y >= 1 && y <= dib_height;
        return inside ? row_colour[dib_height - y] | static_cast<uint32_t>(x - 1) : 0;
    };
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            uint32_t argb = expected_argb(x, y);
            COLORREF bgr = ((argb & 0xFF) << 16) | (argb & 0xFF00) | ((argb >> 16) & 0xFF);
            EXPECT_EQ(GetPixel(s.memory, x, y), bgr) << "GetPixel (" << x << ", " << y << ")";
        }
    }

    // The same bitmap read back whole, top-down, alpha included, once the DC's
    // original bitmap is selected back.
    EXPECT_EQ(SelectObject(s.memory, s.previous), static_cast<HGDIOBJ>(s.bitmap));
    BITMAPINFO query = dib_header(width, -height);
    std::vector<uint32_t> back(static_cast<size_t>(width) * height, 0xDEADBEEF);
    EXPECT_EQ(GetDIBits(s.memory, s.bitmap, 0, height, back.data(), &query, DIB_RGB_COLORS), height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            EXPECT_EQ(back[static_cast<size_t>(y) * width + x], expected_argb(x, y))
                << "GetDIBits (" << x << ", " << y << ")";
}

TEST_F(PlatformContract, TopmostWindowStaysAboveANormalWindow)
{
    HWND below = make(WS_OVERLAPPEDWINDOW);
    HWND topmost = make(WS_OVERLAPPEDWINDOW, WS_EX_TOPMOST);
    HWND normal = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongA(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongA(normal, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // The watch loop activates the overlay the same way when the desktop comes forward.
    EXPECT_TRUE(SetForegroundWindow(normal));
    EXPECT_EQ(GetForegroundWindow(), normal);
    bool ended = false;
    std::vector<HWND> order = walk(normal, ended);
    ASSERT_TRUE(ended);
    int top = index_of(order, topmost);
    ASSERT_NE(top, -1);
    EXPECT_LT(top, index_of(order, normal)) << "a normal window created and activated later";
    EXPECT_LT(top, index_of(order, below));
    EXPECT_LT(index_of(order, normal), index_of(order, below));
}

} // namespace
