// Start-up and the message pump over the simulated desktop: the order of the
// platform calls, every value they are given, and the pump's behaviour once the
// overlay is gone.
#include "desktop_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

class StartupTest : public DesktopTest {};

// The calls of start-up in order, by name, leaving out queries that may repeat.
std::vector<std::string> call_names()
{
    std::vector<std::string> names;
    for (const std::string &call : sim::desktop().calls) names.push_back(call.substr(0, call.find(' ')));
    return names;
}

TEST_F(StartupTest, MakesItsPlatformCallsInOrder)
{
    sim::set_virtual_screen(-1280, -200, 2560, 1224);
    sim::set_desktop_client(1280, 1024);
    start_up(INSTANCE);
    std::vector<std::string> expected = {
        "GetDesktopWindow",   "GetClientRect",          "GetSystemMetrics", "GetSystemMetrics",
        "GetSystemMetrics",   "GetSystemMetrics",       "RegisterClassExA", "CreateWindowExA",
        "ShowWindow",         "UpdateWindow",           "HeapAlloc",        "GetDC",
        "CreateCompatibleDC", "CreateCompatibleBitmap", "SelectObject",     "AllowSetForegroundWindow",
        "CreateThread"};
    EXPECT_EQ(call_names(), expected);
    // Width, height, then the origin.
    EXPECT_EQ(sim::desktop().calls[2], "GetSystemMetrics 78");
    EXPECT_EQ(sim::desktop().calls[3], "GetSystemMetrics 79");
    EXPECT_EQ(sim::desktop().calls[4], "GetSystemMetrics 76");
    EXPECT_EQ(sim::desktop().calls[5], "GetSystemMetrics 77");
}

TEST_F(StartupTest, MeasuresTheScreenOnce)
{
    sim::set_virtual_screen(-1280, -200, 2560, 1224);
    sim::set_desktop_client(1280, 1024);
    start_up(INSTANCE);
    EXPECT_EQ(screen_geometry.x, -1280);
    EXPECT_EQ(screen_geometry.y, -200);
    EXPECT_EQ(screen_geometry.width, 2560);
    EXPECT_EQ(screen_geometry.height, 1224);
    EXPECT_EQ(screen_geometry.desktop_width, 1280);
    EXPECT_EQ(screen_geometry.desktop_height, 1024);
    EXPECT_EQ(desktop_window, GetDesktopWindow());
}

TEST_F(StartupTest, RegistersTheOverlayClass)
{
    start_up(INSTANCE);
    ASSERT_TRUE(sim::desktop().classes.count("Solvane"));
    WNDCLASSEXA c = sim::desktop().classes.at("Solvane");
    EXPECT_EQ(c.cbSize, sizeof(WNDCLASSEXA)); // 48 in the 32-bit program
    EXPECT_EQ(c.style, 0u);
    EXPECT_NE(c.lpfnWndProc, nullptr); // the overlay's own: see OverlayDeclinesACloseRequest
    EXPECT_EQ(c.cbClsExtra, 0);
    EXPECT_EQ(c.cbWndExtra, 0);
    EXPECT_EQ(c.hInstance, INSTANCE);
    EXPECT_EQ(c.hIcon, nullptr);
    EXPECT_EQ(c.hIconSm, nullptr);
    EXPECT_EQ(c.hCursor, nullptr);
    EXPECT_EQ(c.hbrBackground, nullptr);
    EXPECT_EQ(c.lpszMenuName, nullptr);
}

TEST_F(StartupTest, CreatesTheOverlayAtTheOriginWithTheScreensSize)
{
    sim::set_virtual_screen(-1280, -200, 2560, 1224);
    HWND typing = sim::add_window(framed_window({100, 100, 500, 400}));
    sim::set_foreground(typing);
    start_up(INSTANCE);
    ASSERT_NE(overlay_window, nullptr);
    sim::Window w = sim::desktop().windows.at(overlay_window);
    EXPECT_EQ(w.class_name, "Solvane");
    EXPECT_EQ(w.title, "Solvane");
    EXPECT_EQ(w.ex_style, static_cast<DWORD>(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_TOPMOST));
    // Shown by ShowWindow, so WS_VISIBLE joins the exact WS_POPUP it was created with.
    EXPECT_EQ(w.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(w.rect.left, 0);
    EXPECT_EQ(w.rect.top, 0);
    EXPECT_EQ(w.rect.right, 2560);
    EXPECT_EQ(w.rect.bottom, 1224);
    EXPECT_EQ(w.instance, INSTANCE);
    EXPECT_EQ(w.show_calls, 1);
    EXPECT_EQ(w.last_show, SW_SHOWNOACTIVATE);
    EXPECT_EQ(w.update_calls, 1);
    // The window the user was typing in keeps the foreground, and the first pass lights it.
    EXPECT_EQ(sim::desktop().foreground, typing) << "the overlay took the foreground";
    start_watch();
    watch_pass();
    EXPECT_EQ(last_foreground, typing);
    EXPECT_EQ(sim::desktop().sounds_played.size(), 1u);
    std::string create = *std::find_if(sim::desktop().calls.begin(), sim::desktop().calls.end(),
                                       [](const std::string &c) { return c.rfind("CreateWindowExA", 0) == 0; });
    EXPECT_NE(create.find("style=2147483648 0,0 2560x1224 parent=0 menu=0"), std::string::npos) << create;
}

TEST_F(StartupTest, BuildsTheHeaderAndTheSurface)
{
    sim::set_virtual_screen(0, 0, 800, 600);
    start_up(INSTANCE);
    ASSERT_NE(frame_buffer.header, nullptr);
    const BITMAPINFOHEADER &h = frame_buffer.header->bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 800);
    EXPECT_EQ(h.biHeight, 600);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h.biSizeImage, 0u);
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biYPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(frame_buffer.storage, nullptr) << "the first clear makes the pixels, not start-up";

    const PresentationSurface &s = presentation_surface;
    EXPECT_EQ(s.screen_dc, sim::desktop().screen_dc);
    EXPECT_NE(s.memory_dc, nullptr);
    const sim::Bitmap &bitmap = sim::desktop().bitmaps.at(s.memory_bitmap);
    EXPECT_EQ(bitmap.width, 800);
    EXPECT_EQ(bitmap.height, 600);
    EXPECT_NE(s.previous_object, nullptr);
    bool made_from_screen_dc = false;
    for (const std::string &call : sim::desktop().calls)
        made_from_screen_dc |= call == "CreateCompatibleBitmap 0x5000 800x600";
    EXPECT_TRUE(made_from_screen_dc);
}

TEST_F(StartupTest, StartsTheWatchLoopLast)
{
    start_up(INSTANCE);
    EXPECT_EQ(sim::desktop().allowed_foreground_process, sim::desktop().process_id);
    EXPECT_EQ(sim::desktop().thread_count, 1);
    EXPECT_EQ(sim::desktop().thread_start, &watch_loop);
    EXPECT_EQ(sim::desktop().thread_parameter, nullptr);
    EXPECT_EQ(sim::desktop().calls.back(), "CreateThread security=0 stack=0 parameter=0 flags=0");
    EXPECT_NE(watch_thread.handle, nullptr);
    EXPECT_NE(watch_thread.identifier, 0u);
}

TEST_F(StartupTest, PumpDispatchesAndSleepsEveryTurn)
{
    start_up(INSTANCE);
    sim::clear_calls();
    pump_message(); // nothing queued: the stand-in answers as for WM_QUIT
    pump_message();
    EXPECT_EQ(sim::desktop().sleep_count, 2);
    EXPECT_EQ(sim::desktop().last_sleep, 5u);
    EXPECT_TRUE(sim::desktop().windows.at(overlay_window).alive);
    for (const std::string &call : sim::desktop().calls)
        EXPECT_EQ(call.find("DispatchMessageA"), std::string::npos) << "a zero result dispatched";
}

// Alt+F4 reaches the overlay as SC_CLOSE, which the default procedure turns into
// WM_CLOSE; taskkill without /f posts WM_CLOSE. Both are declined, and every other
// message still gets the default handling.
TEST_F(StartupTest, OverlayDeclinesACloseRequest)
{
    start_up(INSTANCE);
    sim::clear_calls();
    PostMessageA(overlay_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    sim::post_message(overlay_window, WM_CLOSE);
    pump_message();
    pump_message();
    const sim::Window &w = sim::desktop().windows.at(overlay_window);
    EXPECT_TRUE(w.alive && (w.style & WS_VISIBLE)) << "alive " << w.alive << ", style " << w.style;
    std::vector<std::string> defaults; // the messages handed to DefWindowProcA
    for (const std::string &call : sim::desktop().calls)
        if (call.rfind("DefWindowProcA", 0) == 0) defaults.push_back(call.substr(call.rfind(' ') + 1));
    EXPECT_EQ(defaults, std::vector<std::string>{"274"}) << "WM_SYSCOMMAND only, never WM_CLOSE (16)";
    EXPECT_EQ(sim::desktop().classes.at("Solvane").lpfnWndProc(overlay_window, WM_CLOSE, 0, 0), 0);
}

TEST_F(StartupTest, PumpKeepsPollingAfterTheOverlayIsGone)
{
    start_up(INSTANCE);
    sim::destroy_window(overlay_window);
    sim::clear_calls();
    for (int turn = 0; turn < 100; turn++) pump_message();
    EXPECT_EQ(sim::desktop().sleep_count, 100);
    EXPECT_EQ(sim::desktop().slept_milliseconds, 500);
    int dispatched = 0;
    for (const std::string &call : sim::desktop().calls) dispatched += call.rfind("DispatchMessageA", 0) == 0;
    EXPECT_EQ(dispatched, 0);
}

} // namespace
