// Start-up: measures the screen, makes the overlay window and its surface, starts
// the worker thread, and pumps the overlay's messages. Nothing made here is ever
// released; the process runs until it is ended from outside.
#include "host/overlay.h"

#include "host/frame.h"
#include "host/watch.h"

ScreenGeometry screen_geometry;
HWND desktop_window;
HWND overlay_window;
WatchThread watch_thread;

// The overlay is layered (per-pixel alpha), a tool window (no taskbar button),
// topmost, and click-through: it handles no input, and every click and every move
// of the mouse must reach the windows below, lit pixels included. A layered window
// without WS_EX_TRANSPARENT is hit wherever its alpha is not 0 (during a fade that
// is every censused window's fan, the faded ones at alpha 1), and Wine hands it
// every click over its whole rectangle; the default window procedure would then
// activate it and take the foreground from the user's window.
const DWORD OVERLAY_EX_STYLE = WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
const DWORD OVERLAY_STYLE = WS_POPUP;
const DWORD PUMP_SLEEP_MS = 5;

namespace {

// The overlay's window procedure, reached from the pump's DispatchMessageA. It
// declines a close request: the default handling of WM_CLOSE destroys the window,
// and Alt+F4 on the overlay or taskkill without /f would then leave the process
// running with no light. Every other message gets the default handling.
LRESULT CALLBACK overlay_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_CLOSE) {
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

} // namespace

void measure_screen()
{
    desktop_window = GetDesktopWindow();
    RECT client = {0, 0, 0, 0};
    GetClientRect(desktop_window, &client);
    screen_geometry.desktop_width = client.right - client.left;
    screen_geometry.desktop_height = client.bottom - client.top;
    screen_geometry.width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen_geometry.height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    screen_geometry.x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    screen_geometry.y = GetSystemMetrics(SM_YVIRTUALSCREEN);
}

ATOM register_overlay_class(HINSTANCE instance)
{
    WNDCLASSEXA overlay_class = {};
    overlay_class.cbSize = sizeof(WNDCLASSEXA);
    overlay_class.style = 0;
    overlay_class.lpfnWndProc = overlay_procedure;
    overlay_class.cbClsExtra = 0;
    overlay_class.cbWndExtra = 0;
    overlay_class.hInstance = instance;
    overlay_class.hIcon = nullptr;
    overlay_class.hCursor = nullptr; // the class sets no cursor
    overlay_class.hbrBackground = nullptr;
    overlay_class.lpszMenuName = nullptr;
    overlay_class.lpszClassName = OVERLAY_NAME;
    overlay_class.hIconSm = nullptr;
    return RegisterClassExA(&overlay_class);
}

// Created at (0, 0); the first presentation moves it to the virtual screen's origin.
// It stays invisible until that first per-pixel-alpha presentation. It is shown
// without being activated, so the window the user was typing in keeps the
// foreground and the keystrokes; the watch loop's first pass then lights that window.
BOOL create_overlay_window(HINSTANCE instance)
{
    overlay_window =
        CreateWindowExA(OVERLAY_EX_STYLE, OVERLAY_NAME, OVERLAY_NAME, OVERLAY_STYLE, 0, 0, screen_geometry.width,
                        screen_geometry.height, nullptr, nullptr, instance, nullptr);
    ShowWindow(overlay_window, SW_SHOWNOACTIVATE);
    return UpdateWindow(overlay_window);
}

void start_up(HINSTANCE instance)
{
    measure_screen();
    register_overlay_class(instance);
    create_overlay_window(instance);
    build_frame_header();
    build_presentation_surface();
    AllowSetForegroundWindow(GetCurrentProcessId());
    // Everything the worker reads is written above; starting it orders those writes.
    watch_thread.handle = CreateThread(nullptr, 0, watch_loop, nullptr, 0, &watch_thread.identifier);
}

// Once the overlay is gone every GetMessageA fails at once; the sleep keeps the
// pump at one turn per 5 ms whatever it returns.
void pump_message()
{
    MSG msg;
    if (GetMessageA(&msg, overlay_window, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    Sleep(PUMP_SLEEP_MS);
}
