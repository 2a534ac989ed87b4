// The soak command: many activations across windows that close and reopen, each
// window on a thread of its own, with the light checked now and then.

#include "probe.h"

#include <memory>
#include <vector>

namespace {

constexpr int SOAK_MARGIN = 24; // pixels between the soak's windows and around them

// The soak's windows: a grid over the screen, cells of different sizes so that
// the fans differ, every window framed and well inside the screen.
std::vector<RECT> soak_layout(Region screen, int count)
{
    int columns = 1;
    while (columns * columns < count) columns++;
    int rows = (count + columns - 1) / columns;
    int cell_w = (screen.width - SOAK_MARGIN) / columns, cell_h = (screen.height - SOAK_MARGIN) / rows;
    std::vector<RECT> rects;
    for (int i = 0; i < count; i++) {
        int shrink = (i % 3) * SOAK_MARGIN;
        RECT r;
        r.left = screen.x + SOAK_MARGIN + (i % columns) * cell_w;
        r.top = screen.y + SOAK_MARGIN + (i / columns) * cell_h;
        r.right = r.left + cell_w - SOAK_MARGIN - shrink;
        r.bottom = r.top + cell_h - SOAK_MARGIN - shrink;
        rects.push_back(r);
    }
    return rects;
}

struct SoakTally {
    int64_t activations = 0, missed = 0; // activations, and those never in the foreground
    int64_t slow = 0;                    // activations that took longer than SOAK_QUICK_MS
    double slowest = 0;                  // ms, the longest an activation took
    int64_t opened = 0, reopened = 0;    // windows created, and of them replacements
    int64_t checks = 0, lit_checks = 0;  // screen checks, and those that saw light
    int64_t unsound = 0;                 // checks with a pixel no fan can have
};

// One soak window and the thread that owns it. Each window has a thread of its
// own because closing a framed window takes Wine 2 s when no window manager
// runs (it waits that long for one to confirm the window withdrawn); on its own
// thread that wait does not hold up the activations.
struct SoakWindow {
    RECT rect;    // screen coordinates
    HWND window;  // written by the thread before it sets `ready`
    HANDLE ready; // event
    HANDLE thread;
};

constexpr char SOAK_CLASS[] = "LightProbeSoak";
constexpr UINT SOAK_ACTIVATE = WM_APP + 1; // asks a soak window's thread to activate it
constexpr int SOAK_QUICK_MS = 200;         // an activation slower than this is counted

LRESULT CALLBACK soak_window_proc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == SOAK_ACTIVATE) {
        SetForegroundWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, w, l);
}

DWORD WINAPI soak_window_thread(LPVOID parameter)
{
    SoakWindow *s = static_cast<SoakWindow *>(parameter);
    s->window = open_window(SOAK_CLASS, "soak", WS_OVERLAPPEDWINDOW, 0, s->rect, Show::IN_FRONT);
    SetEvent(s->ready);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

// Waits up to DEADLINE_MS for an activated window to be the foreground window and
// counts how long that took.
void soak_wait_foreground(HWND window, SoakTally &tally)
{
    double waited = wait_until(DEADLINE_MS, [window] { return GetForegroundWindow() == window; });
    if (waited < 0) {
        if (tally.missed++ < 3)
            say("activation %lld: window %08lx is not the foreground window after %d ms, %08lx is", tally.activations,
                handle_number(window), DEADLINE_MS, handle_number(GetForegroundWindow()));
        return;
    }
    tally.slow += waited > SOAK_QUICK_MS;
    if (waited > tally.slowest) tally.slowest = waited;
}

// Opens a window on a thread of its own and waits until it is shown and active.
SoakWindow *soak_open(std::vector<std::unique_ptr<SoakWindow>> &all, RECT rect)
{
    all.push_back(std::make_unique<SoakWindow>());
    SoakWindow *s = all.back().get();
    s->rect = rect;
    s->window = nullptr;
    s->ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    s->thread = CreateThread(nullptr, 0, soak_window_thread, s, 0, nullptr);
    HANDLE waits[2] = {s->ready, s->thread};
    if (WaitForMultipleObjects(2, waits, FALSE, DEADLINE_MS) != WAIT_OBJECT_0)
        say("note: the thread of a new window did not say it was ready within %d ms", DEADLINE_MS);
    return s;
}

// Looks at the whole screen during light: every lit pixel must be a ramp entry
// no brighter than a fan can be. Where the pixels lie is not checked: a window
// closed a moment ago may still show its last fan.
void soak_check_light(SoakTally &tally)
{
    Capture capture;
    tally.checks++;
    if (!capture_screen(virtual_screen(), capture)) {
        tally.unsound++;
        return;
    }
    int64_t lit = 0, wrong = 0;
    size_t first = 0;
    for (size_t i = 0; i < capture.pixels.size(); i++) {
        uint32_t p = capture.pixels[i];
        if (p == 0) continue;
        lit++;
        if (is_ramp_entry(p) && int(p >> 24) <= MAX_LIGHT_ALPHA) continue;
        if (wrong++ == 0) first = i;
    }
    tally.lit_checks += lit != 0;
    if (wrong && tally.unsound++ == 0) {
        say("FAIL: %lld of %lld lit pixels are not ramp entries of alpha %d or less; first %08x "
            "at (%d,%d)",
            wrong, lit, MAX_LIGHT_ALPHA, capture.pixels[first],
            capture.region.x + int(first % size_t(capture.region.width)),
            capture.region.y + int(first / size_t(capture.region.width)));
        save_failure(capture, "soak");
    }
}

// Activates one soak window: when reopening, the window is first closed and a
// new one opened in its place, a handle the program has never seen.
void soak_activate(std::vector<std::unique_ptr<SoakWindow>> &all, std::vector<SoakWindow *> &current, size_t i,
                   bool reopen, SoakTally &tally)
{
    if (reopen) {
        PostMessageA(current[i]->window, WM_CLOSE, 0, 0);
        current[i] = soak_open(all, current[i]->rect);
        tally.opened++;
        tally.reopened++;
    } else {
        PostMessageA(current[i]->window, SOAK_ACTIVATE, 0, 0);
    }
    tally.activations++;
    soak_wait_foreground(current[i]->window, tally);
}

// Closes every window still open and waits for their threads to end.
void soak_close_all(std::vector<std::unique_ptr<SoakWindow>> &all, const std::vector<SoakWindow *> &current)
{
    for (SoakWindow *s : current) PostMessageA(s->window, WM_CLOSE, 0, 0);
    for (auto &s : all) {
        if (WaitForSingleObject(s->thread, 10000) != WAIT_OBJECT_0)
            say("note: the thread of window %08lx did not end", handle_number(s->window));
        CloseHandle(s->thread);
        CloseHandle(s->ready);
    }
}

} // namespace

// soak SECONDS WINDOWS PERIOD_MS REOPEN_EVERY CHECK_MS: opens the windows and
// activates them in turn, one every PERIOD_MS, reopening every REOPEN_EVERY-th
// (0: never) and checking the light every CHECK_MS (0: never), just before an
// activation, when the last one has had time to light up; then closes them.
int command_soak(int seconds, int count, int period_ms, int reopen_every, int check_ms)
{
    if (seconds <= 0 || count <= 0 || period_ms <= 0 || reopen_every < 0 || check_ms < 0) return usage();
    HWND overlay = the_overlay(DEADLINE_MS);
    if (!overlay) return EXIT_FAIL;
    DWORD overlay_process = 0;
    GetWindowThreadProcessId(overlay, &overlay_process);
    register_class(SOAK_CLASS, soak_window_proc, BLACK_BRUSH);
    std::vector<std::unique_ptr<SoakWindow>> all;
    std::vector<SoakWindow *> current;
    SoakTally tally;
    for (const RECT &r : soak_layout(virtual_screen(), count)) {
        current.push_back(soak_open(all, r));
        tally.opened++;
    }
    say("soak: activating");
    double start = now_ms(), end = start + 1000.0 * seconds, next_check = start + check_ms;
    for (int64_t k = 0; now_ms() < end; k++) {
        double due = start + double(k) * period_ms;
        while (now_ms() < due) Sleep(1); // the schedule, not a wait for anything
        if (check_ms > 0 && now_ms() >= next_check) {
            soak_check_light(tally);
            next_check += check_ms;
        }
        bool reopen = reopen_every > 0 && k % reopen_every == reopen_every - 1;
        soak_activate(all, current, size_t(k % count), reopen, tally);
    }
    double took = now_ms() - start;
    say("soak: activations done");
    soak_close_all(all, current);
    bool alive = process_alive(overlay_process) && the_overlay(0) == overlay;
    say("soak: %.1f s, %lld activations (%lld not in the foreground within %d ms, %lld slower "
        "than %d ms, the slowest %.0f ms), %lld windows opened (%lld reopened), %lld light checks "
        "(%lld lit, %lld unsound)",
        took / 1000, tally.activations, tally.missed, DEADLINE_MS, tally.slow, SOAK_QUICK_MS, tally.slowest,
        tally.opened, tally.reopened, tally.checks, tally.lit_checks, tally.unsound);
    say("soak: new window handles %lld", tally.opened);
    bool ok =
        alive && tally.missed == 0 && tally.unsound == 0 && (check_ms == 0 || tally.lit_checks * 2 >= tally.checks);
    if (!alive) say("FAIL: the overlay or its process %lu is gone", overlay_process);
    if (tally.missed) say("FAIL: %lld activations did not take", tally.missed);
    if (check_ms && tally.lit_checks * 2 < tally.checks)
        say("FAIL: light in only %lld of %lld checks", tally.lit_checks, tally.checks);
    return ok ? EXIT_PASS : EXIT_FAIL;
}
