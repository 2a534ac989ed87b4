// The light scenarios on the real program: light soon after an activation, two
// fans after two activations, the overlay transparent again after the fade, and
// the program outliving the desktop or its overlay as the foreground window; and
// the steps monitor-light shares with them (a dark overlay to start from, a box
// of a fan to watch, the wait for light in it). Product timings are measured from
// the moment the window is in front.

#include "probe.h"

#include <string>

constexpr int SURVIVE_HOLD_MS = 1000; // how long the program must outlive a foreground
constexpr int DARK_HOLD_MS = 300;     // how long the faded overlay must stay transparent

// Says why when the overlay is missing or still lit at the deadline. Called by
// the light-first, light-two-fans, light-fades and monitor-light commands.
bool overlay_ready_and_dark(int deadline_ms)
{
    if (!the_overlay(deadline_ms)) return false;
    if (wait_until_dark(deadline_ms) < 0) {
        say("FAIL: the overlay still shows light %d ms into the scenario", deadline_ms);
        return false;
    }
    return true;
}

// Looking only at the box makes each look quick, keeps the X server free for
// the program's presents (a whole large screen read back slows them down), and
// with avoid given sees this fan's light alone. Wine may show a window shown
// after the overlay above it (see monitors.cpp), so the box keeps out of hidden.
// Called by light-first, light-two-fans and monitor-light.
bool box_in_fan(const Fan &fan, const Fan *avoid, RECT hidden, Region screen, Region &box)
{
    constexpr int SIDE = 16;
    auto fits = [&](int32_t left, int32_t top) {
        RECT r{screen.x + left, screen.y + top, screen.x + left + SIDE, screen.y + top + SIDE};
        RECT overlap;
        if (IntersectRect(&overlap, &r, &hidden)) return false;
        for (int32_t y = top; y < top + SIDE; y++)
            for (int32_t x = left; x < left + SIDE; x++)
                if (!must_be_lit(fan, x, y) || (avoid && may_be_lit(*avoid, x, y))) return false;
        return true;
    };
    for (int32_t top = 8; top + SIDE <= screen.height; top += SIDE) {
        for (int32_t left = int32_t(fan.apex_x > 0 ? fan.apex_x : 0); left + SIDE <= screen.width; left += SIDE) {
            if (!fits(left, top)) continue;
            box = {screen.x + left, screen.y + top, SIDE, SIDE};
            return true;
        }
    }
    say("FAIL: no %dx%d box lies surely inside the fan from apex (%.0f,%.0f)%s", SIDE, SIDE, fan.apex_x, fan.apex_y,
        avoid ? " and outside the other one" : "");
    return false;
}

// Called by light-first and light-two-fans, looking every millisecond for a fine
// measure, and by monitor-light.
double wait_for_light(Region box, int deadline_ms, int look_ms)
{
    Capture capture;
    double start = now_ms();
    do {
        if (capture_screen(box, capture) && lit_pixels(capture) != 0) return now_ms() - start;
        pump_for(look_ms);
    } while (now_ms() - start < deadline_ms);
    return -1;
}

namespace {

// Opens a framed window, waits until it is in front, and says how long that took;
// null when it never came to the front.
HWND open_in_front(RECT rect, const char *title)
{
    double start = now_ms();
    HWND window = open_window(PROBE_CLASS, title, WS_OVERLAPPEDWINDOW, 0, rect, Show::IN_FRONT);
    double waited = wait_for_foreground(window, DEADLINE_MS);
    if (waited < 0) return nullptr;
    say("%s: in front %.0f ms after CreateWindowExA", title, now_ms() - start);
    return window;
}

} // namespace

// Activates a framed window and checks that light appears within within_ms of
// its being in front, exactly of the ramp, no brighter than a fan can be, only
// where fans fall, and over the whole of the window's fan.
int command_light_first(int within_ms)
{
    if (!overlay_ready_and_dark(DEADLINE_MS)) return EXIT_FAIL;
    register_probe_classes();
    Region screen = virtual_screen(), box;
    RECT rect = window_for_light(screen, 0.25);
    Fan fan = fan_of(rect, screen);
    if (!box_in_fan(fan, nullptr, RECT{}, screen, box)) return EXIT_FAIL;
    HWND window = open_in_front(rect, "light-first");
    if (!window) return EXIT_FAIL;
    double seen = wait_for_light(box, DEADLINE_MS, 1);
    bool ok = seen >= 0 && seen <= within_ms;
    if (seen < 0) {
        say("FAIL: no light within %d ms of the window being in front", DEADLINE_MS);
    } else {
        say("light appeared %.1f ms after the window was in front (limit %d ms)", seen, within_ms);
        if (!ok) say("FAIL: light came later than %d ms", within_ms);
        Capture capture;
        ok = capture_screen(screen, capture) && ok;
        ok = light_scene_is_sound(capture, {{fan, "the activated window"}}, "light-first") && ok;
    }
    DestroyWindow(window);
    return ok ? EXIT_PASS : EXIT_FAIL;
}

// Activates two windows in turn and checks that both fans show at once: the
// second is activated as soon as the first one's light shows, and the screen is
// read as soon as the second's does.
int command_light_two_fans()
{
    if (!overlay_ready_and_dark(DEADLINE_MS)) return EXIT_FAIL;
    register_probe_classes();
    Region screen = virtual_screen(), first_box, second_box;
    RECT first_rect = window_for_light(screen, 0.1);
    RECT second_rect = window_for_light(screen, 0.6);
    Fan first_fan = fan_of(first_rect, screen), second_fan = fan_of(second_rect, screen);
    if (!box_in_fan(first_fan, &second_fan, RECT{}, screen, first_box) ||
        !box_in_fan(second_fan, &first_fan, RECT{}, screen, second_box))
        return EXIT_FAIL;
    // The second window exists before the first is activated, so that activating
    // it later is a change of the foreground alone.
    HWND second = open_window(PROBE_CLASS, "light-second-of-two", WS_OVERLAPPEDWINDOW, 0, second_rect, Show::BEHIND);
    HWND first = open_in_front(first_rect, "light-first-of-two");
    double first_lit = first ? wait_for_light(first_box, DEADLINE_MS, 1) : -1;
    if (first_lit < 0) say("FAIL: no light for the first window within %d ms", DEADLINE_MS);
    double lit_at = now_ms();
    SetForegroundWindow(second);
    double second_lit = first_lit >= 0 && wait_for_foreground(second, DEADLINE_MS) >= 0
                            ? wait_for_light(second_box, DEADLINE_MS, 1)
                            : -1;
    if (first_lit >= 0 && second_lit < 0)
        say("FAIL: no light for the second window within %d ms of its being in front", DEADLINE_MS);
    Capture capture;
    bool ok = second_lit >= 0 && capture_screen(screen, capture);
    if (ok) {
        say("light %.0f and %.0f ms after each window was in front (watched at (%d,%d) and "
            "(%d,%d)); the screen read %.0f ms after the first one's light",
            first_lit, second_lit, first_box.x, first_box.y, second_box.x, second_box.y, now_ms() - lit_at);
        ok = light_scene_is_sound(capture, {{first_fan, "the first window"}, {second_fan, "the second window"}},
                                  "light-two-fans");
    }
    DestroyWindow(second);
    if (first) DestroyWindow(first);
    return ok ? EXIT_PASS : EXIT_FAIL;
}

// Activates a window and checks that the overlay, once lit, is wholly transparent
// again within within_ms of the window being in front, and stays so for
// DARK_HOLD_MS.
int command_light_fades(int within_ms)
{
    if (!overlay_ready_and_dark(DEADLINE_MS)) return EXIT_FAIL;
    register_probe_classes();
    HWND window = open_in_front(window_for_light(virtual_screen(), 0.4), "light-fades");
    if (!window) return EXIT_FAIL;
    double start = now_ms();
    Capture capture;
    double lit = wait_until(
        DEADLINE_MS, [&capture] { return capture_screen(virtual_screen(), capture) && lit_pixels(capture) != 0; });
    double dark = lit >= 0 ? wait_until_dark(DEADLINE_MS) : -1;
    double total = now_ms() - start;
    bool ok = lit >= 0 && dark >= 0 && total <= within_ms;
    if (lit < 0)
        say("FAIL: no light within %d ms of the window being in front", DEADLINE_MS);
    else if (dark < 0)
        say("FAIL: still lit %.0f ms after the window was in front", total);
    else
        say("lit after %.0f ms, transparent %.0f ms after the window was in front (limit %d ms)", lit, total,
            within_ms);
    if (lit >= 0 && dark >= 0 && !ok) say("FAIL: transparent later than %d ms", within_ms);
    // The hold has a fixed length on purpose: that no light comes back is the check.
    int64_t later = 0;
    for (double hold = now_ms(); later == 0 && now_ms() - hold < DARK_HOLD_MS;) {
        pump_for(POLL_MS);
        later = capture_screen(virtual_screen(), capture) ? lit_pixels(capture) : -1;
    }
    if (later != 0) {
        say("FAIL: lit again within %d ms of going transparent:", DARK_HOLD_MS);
        say_lit(capture);
        save_failure(capture, "light-fades");
    }
    ok = ok && later == 0;
    DestroyWindow(window);
    return ok ? EXIT_PASS : EXIT_FAIL;
}

// Makes the desktop or the overlay the foreground window and checks that the
// program keeps running with its one overlay for SURVIVE_HOLD_MS after that. The
// program answers the desktop in front by bringing its overlay to the front, so
// with the desktop the hold starts once that has happened (or at the deadline).
int command_survive_foreground(const std::string &which)
{
    HWND overlay = the_overlay(DEADLINE_MS);
    if (!overlay) return EXIT_FAIL;
    WindowInfo before = describe(overlay);
    HWND target = which == "desktop" ? GetDesktopWindow() : overlay;
    double start = now_ms();
    BOOL set = SetForegroundWindow(target);
    say("SetForegroundWindow(%s %08lx) returned %d; the foreground window is now %08lx", which.c_str(),
        handle_number(target), set, handle_number(GetForegroundWindow()));
    wait_for_foreground(overlay, DEADLINE_MS);
    say("%.0f ms later the foreground window is %08lx (the overlay is %08lx)", now_ms() - start,
        handle_number(GetForegroundWindow()), handle_number(overlay));
    bool ok = true;
    for (double hold = now_ms(); ok && now_ms() - hold < SURVIVE_HOLD_MS;) {
        pump_for(POLL_MS);
        ok = the_overlay(0) == overlay && process_alive(before.process);
    }
    if (!ok)
        say("FAIL: the program did not survive the %s as the foreground window", which.c_str());
    else
        say("PASS: process %lu and its overlay survived %d ms", before.process, SURVIVE_HOLD_MS);
    return ok ? EXIT_PASS : EXIT_FAIL;
}
