// Real clicks: two plain windows A and B, opened before the program so that its overlay
// lies above them, say each WM_LBUTTONDOWN and the probe each change of the foreground;
// the script makes each click asked for ("click at (X,Y), X root (XR,YR)") through X.

#include "probe.h"

#include <windowsx.h>

namespace {

constexpr int TRIES = 3;            // a lit click that came after the fade is tried again
constexpr int LIGHT_WAIT_MS = 4000; // on a large screen one slow pass can spend a glow at once
constexpr uint32_t WITNESS = 4;     // alpha: A's glow above 3/233, which keeps the loop drawing

HWND overlay, windows[2], front, pressed; // A and B, the foreground last seen, the last press's
POINT press_at;                           // window and client point
int presses;
HWND typed_in; // the window that received the last WM_CHAR
bool overlay_in_front;

const char *name_of(HWND w)
{
    return w == windows[0] ? "A" : w == windows[1] ? "B" : w && w == overlay ? "the overlay" : "other";
}

LRESULT CALLBACK click_window_proc(HWND w, UINT message, WPARAM wp, LPARAM lp)
{
    if (message == WM_LBUTTONDOWN) {
        pressed = w, press_at = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, presses++;
        say("  %s received WM_LBUTTONDOWN at client (%ld,%ld)", name_of(w), press_at.x, press_at.y);
    }
    if (message == WM_CHAR) {
        typed_in = w;
        say("  %s received WM_CHAR '%c'", name_of(w), char(wp));
    }
    return probe_window_proc(w, message, wp, lp);
}

// Waits for a condition, saying every change of the foreground window meanwhile.
template <typename C> bool watch_until(C holds, int deadline_ms = DEADLINE_MS)
{
    return wait_until(deadline_ms, [&] {
               HWND now = GetForegroundWindow();
               if (now != front) say("foreground: %s %08lx", name_of(now), handle_number(front = now));
               overlay_in_front = overlay_in_front || (now && now == overlay);
               return holds();
           }) >= 0;
}

// Asks every 250 ms: an activation on its way from another process (the overlay's,
// when the desktop comes to the front) can overtake a request.
bool bring_to_front(int i)
{
    double asked = 0;
    bool ok = watch_until([&] {
        if (now_ms() - asked >= 250) SetForegroundWindow(windows[i]), asked = now_ms();
        return GetForegroundWindow() == windows[i];
    });
    if (!ok) say("FAIL: %s did not come to the front", name_of(windows[i]));
    return ok;
}

// Waits until a pixel 8 inside window i's client area that only its fan can light
// reads exactly shade 1, or at least WITNESS; chooses the first such one.
bool find_pixel(int i, bool shade_one, POINT &chosen)
{
    Region s = virtual_screen();
    RECT r{};
    GetClientRect(windows[i], &r);
    MapWindowPoints(windows[i], nullptr, reinterpret_cast<POINT *>(&r), 2);
    Fan mine = fan_of(describe(windows[i]).rect, s), other = fan_of(describe(windows[1 - i]).rect, s);
    Capture c;
    uint32_t value = 0;
    bool ok = watch_until(
        [&] {
            if (!capture_screen({r.left + 8, r.top + 8, r.right - r.left - 16, r.bottom - r.top - 16}, c)) return false;
            for (size_t k = 0; k < c.pixels.size(); k++) {
                chosen = {c.region.x + LONG(k % c.region.width), c.region.y + LONG(k / c.region.width)};
                value = c.pixels[k];
                if ((shade_one ? value == ramp_entry(1) : value >> 24 >= WITNESS) &&
                    must_be_lit(mine, chosen.x - s.x, chosen.y - s.y) &&
                    !may_be_lit(other, chosen.x - s.x, chosen.y - s.y))
                    return true;
            }
            return false;
        },
        LIGHT_WAIT_MS);
    if (ok)
        say("pixel (%ld,%ld) over %s, lit by its fan alone, reads %08x", chosen.x, chosen.y, name_of(windows[i]),
            value);
    else
        say("no pixel over %s lit by its fan alone reads %s", name_of(windows[i]),
            shade_one ? "shade 1" : "the witness's alpha");
    return ok;
}

// The other window in front, its light shown (none if one slow pass spent its glow)
// and faded, then window i: a fresh activation, with the other's glow at 0.
bool settle(int i, bool activate)
{
    POINT lit;
    if (GetForegroundWindow() != windows[1 - i]) {
        if (!bring_to_front(1 - i)) return false;
        find_pixel(1 - i, false, lit);
    }
    return wait_until_dark(DEADLINE_MS) >= 0 && (!activate || bring_to_front(i));
}

// A click at rest on A from B (kind 0), or during a fresh fade of A on a pixel that
// only A's fan lights (1), or B's at shade 1 (2). It passes when one press comes, to
// the window under the click at its client point, which is then in front, and the
// overlay never is. A's witness pixel must still read WITNESS as the press arrives,
// or the click may have come after the fade and is tried again.
bool click(int kind, POINT at, const char *what)
{
    HWND want = windows[kind == 2];
    for (int attempt = 0; attempt < TRIES; attempt++) {
        POINT witness{}, client;
        if (!settle(0, kind != 0)) return false;
        if (GetForegroundWindow() != windows[kind == 0]) continue; // a late start-up activation
        if (kind && (!find_pixel(0, false, witness) || (kind == 2 && !find_pixel(1, true, at)))) continue;
        if (kind == 1) at = witness;
        client = at, ScreenToClient(want, &client);
        Region s = virtual_screen();
        int before = presses;
        overlay_in_front = false;
        say("click at (%ld,%ld), X root (%ld,%ld): %s", at.x, at.y, at.x - s.x, at.y - s.y, what);
        bool ok = watch_until([&] { return presses > before; });
        Capture c;
        uint32_t seen = ok && kind && capture_screen({witness.x, witness.y, 1, 1}, c) ? c.pixels[0] : 0;
        ok = ok && watch_until([&] { return GetForegroundWindow() == want; }) && presses == before + 1 &&
             pressed == want && press_at.x == client.x && press_at.y == client.y && !overlay_in_front;
        if (!ok)
            say("FAIL: expected %s at client (%ld,%ld), then in front; the overlay came %sto the "
                "front",
                name_of(want), client.x, client.y, overlay_in_front ? "" : "never ");
        if (!ok || !kind) return ok;
        say("  the witness read %08x as the press arrived", seen);
        if (seen >> 24 >= WITNESS && seen != SENTINEL) return true;
    }
    say("FAIL: no click came in the state it needs (within a fade) in %d tries", TRIES);
    return false;
}

// As the program starts, B (opened last, in front) keeps the foreground and the
// keyboard: its fan is lit by the first pass, a key typed then arrives in B, and the
// overlay never comes to the front.
bool start_keeps_keys()
{
    POINT lit;
    bool ok = find_pixel(1, false, lit);
    say("type x into B");
    ok = watch_until([&] { return typed_in != nullptr; }) && typed_in == windows[1] && ok &&
         GetForegroundWindow() == windows[1] && !overlay_in_front;
    if (!ok)
        say("FAIL: B was not lit at start, or the key did not reach it in front; the overlay "
            "came %sto the front",
            overlay_in_front ? "" : "never ");
    return ok;
}

} // namespace

// clicks: A a tenth of the way across the virtual screen, B past its middle, their
// fans apart. B, in front as the program starts, keeps the keyboard and is lit; A
// and then B in front leave that behind before the first click.
int command_clicks()
{
    register_probe_classes();
    Region s = virtual_screen();
    for (int i = 0; i < 2; i++) {
        LONG left = s.x + LONG(s.width * (i ? 0.55 : 0.1));
        RECT rect{left, s.y + 40, left + 300, s.y + 340};
        windows[i] = open_window(PROBE_CLASS, i ? "B" : "A", WS_OVERLAPPEDWINDOW, 0, rect, Show::IN_FRONT);
        if (!windows[i]) return EXIT_FAIL;
        SetWindowLongPtrA(windows[i], GWLP_WNDPROC, LONG_PTR(click_window_proc));
        print_window(i ? "B " : "A ", describe(windows[i]));
    }
    say("ready; start the program");
    if (!wait_for_shown_overlay(DEADLINE_MS) || !(overlay = the_overlay(0))) return EXIT_FAIL;
    POINT rest{s.x + LONG(s.width * 0.1) + 150, s.y + 260};
    bool kept = start_keeps_keys();
    int passed = bring_to_front(0) && click(0, rest, "at rest on A, B in front");
    passed += click(1, rest, "on A's own fan while it is lit");
    passed += click(2, rest, "on B's shade-1 fan while A's fades");
    for (HWND w : windows) DestroyWindow(w);
    say("%s: the start %s B the keys; %d of 3 kinds of click reached the window under it",
        kept && passed == 3 ? "PASS" : "FAIL", kept ? "left" : "took from", passed);
    return kept && passed == 3 ? EXIT_PASS : EXIT_FAIL;
}
