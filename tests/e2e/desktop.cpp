// Windows on the desktop: listing them, finding the overlay, registering the
// probe's window classes, opening every window the probe opens and serving them
// (the list-windows, find-overlay, open-window, open-dialog and backing commands).

#include "probe.h"
#include "rects.h"

#include <string>
#include <vector>

WindowInfo describe(HWND window)
{
    WindowInfo info{};
    char text[256];
    info.handle = window;
    text[0] = 0;
    GetClassNameA(window, text, sizeof text);
    info.class_name = text;
    text[0] = 0;
    GetWindowTextA(window, text, sizeof text);
    info.title = text;
    info.style = DWORD(GetWindowLongA(window, GWL_STYLE));
    info.ex_style = DWORD(GetWindowLongA(window, GWL_EXSTYLE));
    GetWindowRect(window, &info.rect);
    GetWindowThreadProcessId(window, &info.process);
    info.visible = IsWindowVisible(window) != 0;
    return info;
}

void print_window(const char *prefix, const WindowInfo &w)
{
    say("%s%08lx class \"%s\" title \"%s\" style %08lx exstyle %08lx rect (%ld,%ld)-(%ld,%ld) "
        "%s pid %lu",
        prefix, handle_number(w.handle), w.class_name.c_str(), w.title.c_str(), w.style, w.ex_style, w.rect.left,
        w.rect.top, w.rect.right, w.rect.bottom, w.visible ? "visible" : "hidden", w.process);
}

namespace {

BOOL CALLBACK collect_window(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<WindowInfo> *>(list)->push_back(describe(window));
    return TRUE;
}

// Says a window the probe opened is ready once it is the foreground window, or at
// the deadline, saying which window is in front; the scripts read this line.
void say_ready_in_front(HWND window)
{
    double waited = wait_for_foreground(window, DEADLINE_MS);
    HWND front = GetForegroundWindow();
    if (waited < 0)
        say("ready; the foreground window is another, %08lx, after %d ms", handle_number(front), DEADLINE_MS);
    else
        say("ready; the foreground window is this one, after %.0f ms", waited);
}

// Prints a window that a command opened to serve; false after saying so when it
// could not be created.
bool opened(HWND window)
{
    if (!window) {
        say("FAIL: could not create the window");
        return false;
    }
    print_window("opened ", describe(window));
    return true;
}

} // namespace

// Every top-level window, highest in the Z order first.
std::vector<WindowInfo> top_level_windows()
{
    std::vector<WindowInfo> list;
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&list));
    return list;
}

std::vector<WindowInfo> overlays()
{
    std::vector<WindowInfo> found;
    for (const WindowInfo &w : top_level_windows())
        if (w.class_name == OVERLAY_NAME) found.push_back(w);
    return found;
}

std::vector<WindowInfo> wait_for_overlays(int wait_ms)
{
    std::vector<WindowInfo> found;
    wait_until(wait_ms, [&found] {
        found = overlays();
        return !found.empty();
    });
    return found;
}

// The one overlay, or null after printing what was found instead.
HWND the_overlay(int wait_ms)
{
    std::vector<WindowInfo> found = wait_for_overlays(wait_ms);
    if (found.size() == 1) return found[0].handle;
    say("FAIL: %zu top-level windows of class \"%s\", expected exactly 1", found.size(), OVERLAY_NAME);
    for (const WindowInfo &w : found) print_window("  ", w);
    return nullptr;
}

LRESULT CALLBACK probe_window_proc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, w, l);
}

void register_class(const char *name, WNDPROC procedure, int brush)
{
    WNDCLASSEXA c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = procedure;
    c.hInstance = GetModuleHandleA(nullptr);
    c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    c.hbrBackground = brush < 0 ? nullptr : HBRUSH(GetStockObject(brush));
    c.lpszClassName = name;
    RegisterClassExA(&c);
}

void register_probe_classes()
{
    register_class(PROBE_CLASS, probe_window_proc, BLACK_BRUSH);
    register_class(BACKING_CLASS, probe_window_proc, WHITE_BRUSH);
    register_class(PATTERN_CLASS, DefWindowProcA, -1);
}

HWND open_window(const char *class_name, const char *title, DWORD style, DWORD ex_style, RECT rect, Show show)
{
    HWND window = CreateWindowExA(ex_style, class_name, title, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) return nullptr;
    ShowWindow(window, show == Show::BEHIND ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL);
    UpdateWindow(window);
    if (show == Show::IN_FRONT) SetForegroundWindow(window);
    return window;
}

// White and unframed, shown without activating it: something other than black
// below the overlay that no fan is drawn for (the backing command and the
// self-test put it there).
HWND open_backing_window(RECT rect)
{
    return open_window(BACKING_CLASS, "backing", WS_POPUP, WS_EX_TOOLWINDOW, rect, Show::BEHIND);
}

// Serves a window the probe opened until lifetime_ms pass (for ever when
// negative) or the window is closed.
int serve_window(HWND window, int lifetime_ms)
{
    double until = now_ms() + lifetime_ms;
    MSG msg;
    while (lifetime_ms < 0 || now_ms() < until) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0) continue;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return EXIT_PASS;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DestroyWindow(window);
    return EXIT_PASS;
}

int command_list_windows()
{
    for (const WindowInfo &w : top_level_windows()) print_window("", w);
    Region s = virtual_screen();
    say("virtual screen (%d,%d) %dx%d; foreground %08lx", s.x, s.y, s.width, s.height,
        handle_number(GetForegroundWindow()));
    return EXIT_PASS;
}

bool wait_for_shown_overlay(int deadline_ms)
{
    Region s = virtual_screen();
    std::vector<WindowInfo> found;
    double waited = wait_until(deadline_ms, [&] {
        found = overlays();
        return found.size() == 1 && found[0].visible && same_rect(found[0].rect, rect_of(s));
    });
    if (waited < 0 && deadline_ms > 0) say("no visible overlay over the whole screen after %d ms", deadline_ms);
    if (waited > 0) say("waited %.0f ms for the overlay to show over the whole screen", waited);
    return waited >= 0;
}

// The overlay as a user first sees it: the program makes it hidden and shows it
// a few ms later, so the checks wait for it to show and then judge whatever is
// there, also at the deadline.
int command_find_overlay(int wait_ms)
{
    wait_for_shown_overlay(wait_ms);
    Region s = virtual_screen();
    HWND overlay = the_overlay(0);
    if (!overlay) return EXIT_FAIL;
    WindowInfo w = describe(overlay);
    print_window("overlay ", w);
    bool ok = true;
    auto expect = [&ok](bool condition, const char *what) {
        if (!condition) say("FAIL: %s", what);
        ok = ok && condition;
    };
    expect(w.title == OVERLAY_NAME, "the title is not \"Solvane\"");
    // The system adds WS_CLIPSIBLINGS to every top-level window, and ShowWindow
    // WS_VISIBLE; everything else is exactly WS_POPUP.
    expect((w.style & ~(WS_VISIBLE | WS_CLIPSIBLINGS)) == WS_POPUP, "the style is not WS_POPUP alone");
    expect((w.style & WS_VISIBLE) != 0, "the overlay is not visible");
    expect(w.ex_style == (WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
           "the extended style is not exactly layered, transparent, tool window, topmost");
    bool covers = same_rect(w.rect, rect_of(s));
    if (!covers) say("virtual screen (%d,%d)-(%d,%d)", s.x, s.y, s.x + s.width, s.y + s.height);
    expect(covers, "the rectangle is not the virtual screen's");
    expect(process_alive(w.process), "the overlay's process is not running");
    if (ok) say("PASS: one overlay, styles and rectangle as expected");
    return ok ? EXIT_PASS : EXIT_FAIL;
}

int command_open_window(RECT rect, const char *title, int lifetime_ms)
{
    register_probe_classes();
    HWND window = open_window(PROBE_CLASS, title, WS_OVERLAPPEDWINDOW, 0, rect, Show::IN_FRONT);
    if (!opened(window)) return EXIT_FAIL;
    say_ready_in_front(window);
    return serve_window(window, lifetime_ms);
}

// backing X Y W H [MS]: ready once the window reads back white, as the test
// that puts it below the overlay needs.
int command_backing(RECT rect, int lifetime_ms)
{
    register_probe_classes();
    HWND window = open_backing_window(rect);
    if (!opened(window)) return EXIT_FAIL;
    Region region{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    Capture capture;
    double waited = wait_until(
        DEADLINE_MS, [&] { return capture_screen(region, capture) && count_other_than(capture, WHITE, false) == 0; });
    if (waited < 0)
        say("the window does not read back white after %d ms", DEADLINE_MS);
    else
        say("the window reads back white after %.0f ms", waited);
    say("ready");
    return serve_window(window, lifetime_ms);
}

// open-dialog X Y W H [TITLE [MS]]: like open-window, but with a fixed dialog
// frame and no maximize box, the frame the program widens by 5 pixels.
int command_open_dialog(RECT rect, const char *title, int lifetime_ms)
{
    register_probe_classes();
    HWND window = open_window(PROBE_CLASS, title, WS_CAPTION | WS_SYSMENU, 0, rect, Show::IN_FRONT);
    if (!opened(window)) return EXIT_FAIL;
    RECT client{};
    GetClientRect(window, &client);
    WindowInfo info = describe(window);
    say("client width %ld, frame excess %ld", client.right, info.rect.right - info.rect.left - client.right);
    say_ready_in_front(window);
    return serve_window(window, lifetime_ms);
}
