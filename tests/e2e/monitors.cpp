// The probe's commands for a desktop of several monitors: the layout as Wine
// reports it, the overlay over the whole virtual screen at its origin, light
// from windows on each monitor and across their borders, and the census's size
// rules where the virtual screen is larger than the desktop's client area.

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "probe.h"
#include "rects.h"

namespace {

constexpr int OVERLAY_WAIT_MS = 5000; // for the overlay to exist and show nothing
constexpr int LIGHT_WAIT_MS = 10000;  // for an activation's light to show
constexpr uint32_t FADING_ALPHA = 32; // a capture brightest below this came as the light
                                      // faded out, its faint edges already dark
constexpr int ACTIVATIONS = 4;        // tries for a window that must get light
constexpr int FADE_WAIT_MS = 3000;    // for that light to fade to nothing
constexpr int DARK_HOLD_MS = 1000;    // an unlit window is watched twice a fade long
constexpr int LOOK_MS = 5;            // between two looks at the screen
constexpr int GRID = 4;               // pixels between the samples that tell whether a fan
                                      // reaches a monitor: the margins of may_be_lit and
                                      // must_be_lit are twice as wide

struct Monitor {
    RECT rect; // screen coordinates
    bool primary;
};

BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM list)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoA(monitor, &info);
    reinterpret_cast<std::vector<Monitor> *>(list)->push_back(
        {info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

// Every monitor, the primary first, the others by top edge, then left edge: the
// order in which the commands number them.
std::vector<Monitor> monitors()
{
    std::vector<Monitor> list;
    EnumDisplayMonitors(nullptr, nullptr, collect_monitor, reinterpret_cast<LPARAM>(&list));
    std::stable_sort(list.begin(), list.end(), [](const Monitor &a, const Monitor &b) {
        if (a.primary != b.primary) return a.primary;
        if (a.rect.top != b.rect.top) return a.rect.top < b.rect.top;
        return a.rect.left < b.rect.left;
    });
    return list;
}

// The layout in one line: the virtual screen, the desktop window's client size
// and the monitors in their order.
std::string layout_line()
{
    Region s = virtual_screen();
    RECT client{};
    GetClientRect(GetDesktopWindow(), &client);
    char text[160];
    std::snprintf(text, sizeof text, "virtual (%d,%d) %dx%d, desktop client %ldx%ld, monitors", s.x, s.y, s.width,
                  s.height, client.right - client.left, client.bottom - client.top);
    std::string line = text;
    const char *separator = " ";
    for (const Monitor &m : monitors()) {
        std::snprintf(text, sizeof text, "%s(%ld,%ld) %ldx%ld%s", separator, m.rect.left, m.rect.top,
                      m.rect.right - m.rect.left, m.rect.bottom - m.rect.top, m.primary ? " primary" : "");
        line += text;
        separator = " | ";
    }
    return line;
}

// Wine maps a window shown after the overlay above it in X, although the
// topmost overlay stays above it in the Z order (it cannot restack its own
// window against another process's), so the readback sees the scene's window
// where it lies, not the overlay: black, reading 0. The checks of where light
// falls leave the window's own rectangle out.
enum class Reach { NONE, MAY, MUST }; // how far a fan reaches onto a monitor

// Whether a fan surely lights some of a monitor where the window does not hide
// it, may touch it, or stays off it, from samples GRID pixels apart.
Reach reach_onto(const Fan &fan, RECT monitor, RECT window, Region screen)
{
    Reach reach = Reach::NONE;
    for (LONG y = monitor.top; y < monitor.bottom; y += GRID) {
        for (LONG x = monitor.left; x < monitor.right; x += GRID) {
            if (PtInRect(&window, POINT{x, y})) continue;
            double vx = x - screen.x, vy = y - screen.y;
            if (must_be_lit(fan, vx, vy)) return Reach::MUST;
            if (reach == Reach::NONE && may_be_lit(fan, vx, vy)) reach = Reach::MAY;
        }
    }
    return reach;
}

// Checks which monitors a capture shows light on against the ones the scene
// names (LIT_ON: monitor numbers separated by commas): the fan's geometry must
// put light surely on each named monitor and nowhere near the others, and the
// capture must agree.
bool light_on_monitors(const Capture &capture, const Fan &fan, RECT window, const char *lit_on)
{
    std::vector<Monitor> list = monitors();
    Region screen = virtual_screen();
    bool ok = true;
    int64_t on_monitors = 0;
    for (size_t i = 0; i < list.size(); i++) {
        char number[8];
        std::snprintf(number, sizeof number, "%zu", i);
        std::string named = std::string(",") + lit_on + ",";
        bool want = named.find(std::string(",") + number + ",") != std::string::npos;
        Reach reach = reach_onto(fan, list[i].rect, window, screen);
        int64_t lit = lit_in(capture, list[i].rect);
        on_monitors += lit;
        const RECT &r = list[i].rect;
        say("monitor %zu (%ld,%ld)-(%ld,%ld): %lld lit pixels; the fan %s it; expected %s", i, r.left, r.top, r.right,
            r.bottom, lit,
            reach == Reach::MUST  ? "surely lights"
            : reach == Reach::MAY ? "may touch"
                                  : "misses",
            want ? "light" : "none");
        if (want ? reach != Reach::MUST : reach != Reach::NONE) {
            say("FAIL: the scene is badly placed: the fan's geometry does not decide monitor %zu", i);
            ok = false;
        } else if (want ? lit == 0 : lit != 0) {
            say("FAIL: monitor %zu shows %s", i, want ? "no light" : "light");
            ok = false;
        }
    }
    say("%lld lit pixels outside every monitor", (lit_pixels(capture) - on_monitors));
    return ok;
}

// Window styles a scene can ask for: framed as an application's main window, or
// without any frame bit, as a plain popup or a tool window.
bool window_style(const std::string &name, DWORD &style, DWORD &ex_style)
{
    ex_style = 0;
    if (name == "framed")
        style = WS_OVERLAPPEDWINDOW;
    else if (name == "popup")
        style = WS_POPUP;
    else if (name == "tool")
        style = WS_POPUP, ex_style = WS_EX_TOOLWINDOW;
    else
        return false;
    return true;
}

// Opens a black window of a style at a screen rectangle and activates it; null,
// after saying why, when the platform did not put it exactly there or did not
// make it the foreground window.
HWND open_scene_window(DWORD style, DWORD ex_style, RECT rect, const char *title)
{
    register_probe_classes();
    HWND window = open_window(PROBE_CLASS, title, style, ex_style, rect, Show::IN_FRONT);
    // Wine places and activates the window asynchronously: wait for both.
    double waited = wait_until(
        DEADLINE_MS, [&] { return GetForegroundWindow() == window && same_rect(describe(window).rect, rect); });
    if (waited >= 0) say("%s in place and in front after %.0f ms", title, waited);
    WindowInfo info = describe(window);
    print_window("opened ", info);
    if (!window || !same_rect(info.rect, rect)) {
        say("FAIL: the window is not at (%ld,%ld)-(%ld,%ld)", rect.left, rect.top, rect.right, rect.bottom);
    } else if (GetForegroundWindow() != window) {
        say("FAIL: the window is not the foreground window; %08lx is", handle_number(GetForegroundWindow()));
    } else {
        return window;
    }
    if (window) DestroyWindow(window);
    return nullptr;
}

// Watches the whole virtual screen while a window that must get no light is the
// foreground window: every look for DARK_HOLD_MS must read 0, and the window's
// fan, were it drawn, would show beside the window. The program polls the
// foreground about fifty times a second and lights a new one on the next pass,
// so light that is due shows long before the watch ends.
bool stays_dark(HWND window, RECT rect, const char *name)
{
    Region screen = virtual_screen();
    Fan fan = fan_of(rect, screen);
    if (reach_onto(fan, rect_of(screen), rect, screen) != Reach::MUST) {
        say("FAIL: the scene is badly placed: a fan for %s would not show", name);
        return false;
    }
    Capture capture;
    double start = now_ms();
    int looks = 0;
    while (now_ms() - start < DARK_HOLD_MS) {
        looks++;
        if (!capture_screen(virtual_screen(), capture)) return false;
        if (lit_pixels(capture) != 0) {
            RECT box = lit_box(capture);
            say("FAIL: %s got light: %lld pixels in (%ld,%ld)-(%ld,%ld) on look %d, %.0f ms after "
                "its activation",
                name, lit_pixels(capture), box.left, box.top, box.right, box.bottom, looks, now_ms() - start);
            save_failure(capture, name);
            return false;
        }
        pump_for(LOOK_MS);
    }
    bool foreground = GetForegroundWindow() == window;
    say("%s: no light on %d looks over %d ms; %s the foreground window", name, looks, DARK_HOLD_MS,
        foreground ? "it stayed" : "FAIL: it is no longer");
    return foreground;
}

// Waits up to LIGHT_WAIT_MS for a window's light in a box of its fan after its
// activation, then captures the whole virtual screen; true when that shows light
// that had not yet faded out (a slow capture of a large screen can come that late).
bool light_shows(Capture &capture, Region box, const char *name)
{
    double start = now_ms();
    if (wait_for_light(box, LIGHT_WAIT_MS, LOOK_MS) >= 0 && capture_screen(virtual_screen(), capture) &&
        lit_pixels(capture)) {
        uint32_t peak = summarize_lit(capture).max_alpha;
        say("%s: light %.0f ms after its activation, max alpha %u%s", name, now_ms() - start, peak,
            peak < FADING_ALPHA ? ": captured as it faded out" : "");
        return peak >= FADING_ALPHA;
    }
    say("%s got no light within %d ms of its activation", name, LIGHT_WAIT_MS);
    return false;
}

// Checks the whole virtual screen while a window just activated is lit: sound
// light, the window's fan lit throughout, light on the monitors named and on no
// other.
bool light_is_right(const Capture &capture, RECT rect, const char *lit_on, const char *name)
{
    Region screen = virtual_screen();
    Fan fan = fan_of(rect, screen);
    RECT box = lit_box(capture);
    say("%s: light in the bounding box (%ld,%ld)-(%ld,%ld); the fan's apex at (%.0f,%.0f) on "
        "the screen, reach %.0f x %.0f",
        name, box.left, box.top, box.right, box.bottom, fan.apex_x + screen.x, fan.apex_y + screen.y, fan.reach_x,
        fan.reach_y);
    bool ok = light_scene_is_sound(capture, {{fan, name, rect}}, name);
    ok = light_on_monitors(capture, fan, rect, lit_on) && ok;
    if (!ok) save_failure(capture, name);
    return ok;
}

} // namespace

// monitor-layout [EXPECTED]: prints the layout and compares it with EXPECTED (null:
// none).
int command_monitor_layout(const char *expected)
{
    std::string seen = layout_line();
    say("layout: %s", seen.c_str());
    if (!expected || seen == expected) return EXIT_PASS;
    say("FAIL: expected layout: %s", expected);
    return EXIT_FAIL;
}

// monitor-overlay WAIT_MS: the overlay is made at (0, 0) and its first
// presentation moves it to the virtual screen's origin; waits until its
// rectangle is the virtual screen's and says where it was first seen.
int command_monitor_overlay(int wait_ms)
{
    HWND overlay = the_overlay(wait_ms);
    if (!overlay) return EXIT_FAIL;
    RECT want = rect_of(virtual_screen());
    RECT first = describe(overlay).rect, now = first;
    double start = now_ms();
    wait_until(wait_ms, [&] {
        now = describe(overlay).rect;
        return same_rect(now, want);
    });
    say("overlay first seen at (%ld,%ld)-(%ld,%ld), after %.0f ms at (%ld,%ld)-(%ld,%ld)", first.left, first.top,
        first.right, first.bottom, now_ms() - start, now.left, now.top, now.right, now.bottom);
    if (same_rect(now, want)) return EXIT_PASS;
    say("FAIL: after %d ms the overlay does not cover the virtual screen (%ld,%ld)-(%ld,%ld)", wait_ms, want.left,
        want.top, want.right, want.bottom);
    return EXIT_FAIL;
}

// monitor-light STYLE X Y W H LIT_ON NAME: opens a window of STYLE (framed,
// popup, tool) at the screen rectangle and activates it. LIT_ON names the
// monitors its light must fall on, or "none" when it must get no light at all.
// A lit window's light must be gone within FADE_WAIT_MS of the checks, which
// take longer than the fade itself on a screen this large. A window that stays
// unlit is tried again, as a new window, up to ACTIVATIONS times.
int command_monitor_light(const std::string &style_name, RECT rect, const char *lit_on, const char *name)
{
    DWORD style, ex_style;
    if (!window_style(style_name, style, ex_style)) return usage();
    if (!overlay_ready_and_dark(OVERLAY_WAIT_MS)) return EXIT_FAIL;
    bool dark = std::strcmp(lit_on, "none") == 0;
    Region screen = virtual_screen(), box;
    if (!dark && !box_in_fan(fan_of(rect, screen), nullptr, rect, screen, box)) return EXIT_FAIL;
    HWND window = nullptr;
    Capture capture;
    bool lit = false, ok = true;
    // The glow of a new foreground window decays at once by the length of the
    // program's pass before it; a pass over half a second long (a present of this
    // large a screen on a busy machine) leaves nothing to draw. So a window that
    // gets no light is closed and a new one, a new foreground window, tried again.
    for (int attempt = 1; attempt <= (dark ? 1 : ACTIVATIONS) && !lit && ok; attempt++) {
        if (window) DestroyWindow(window);
        if (attempt > 1 && wait_until_dark(FADE_WAIT_MS) < 0) say("note: light before try %d", attempt);
        window = open_scene_window(style, ex_style, rect, name);
        if (!window) return EXIT_FAIL;
        if (dark)
            ok = stays_dark(window, rect, name);
        else
            lit = light_shows(capture, box, name);
        if (!dark && attempt > 1) say("%s: try %d %s", name, attempt, lit ? "lit" : "did not either");
    }
    double activated = now_ms();
    if (!dark) {
        ok = lit && light_is_right(capture, rect, lit_on, name);
        if (!lit) say("FAIL: %s got no light, or only fading, on %d activations", name, ACTIVATIONS);
        double faded = wait_until_dark(FADE_WAIT_MS);
        double since = now_ms() - activated;
        if (faded < 0)
            say("FAIL: %s still lit %.0f ms after the checks", name, since);
        else
            say("%s: wholly transparent again %.0f ms after the checks", name, since);
        ok = ok && faded >= 0;
    }
    DestroyWindow(window);
    return ok ? EXIT_PASS : EXIT_FAIL;
}
