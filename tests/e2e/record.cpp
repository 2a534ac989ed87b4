// The record command: sample windows activated in turn while the overlay's pixels
// are read back on a schedule, written as PAM frames (the overlay's own and
// composed over the desktop) and a list of frames, for tools/demo/capture.

#include "probe.h"

#include <cstdio>
#include <string>
#include <vector>

// Recording the light for pictures: sample windows are opened and activated in
// turn while the overlay's pixels are read back every few milliseconds.
//
// While the program runs, its overlay covers the whole screen, and the session's
// readback returns the overlay's own pixels everywhere: the windows below do not
// show in it. So the desktop is captured before the program starts, once with
// each sample window active, and every frame is also composed over the capture
// in which the same window is active, the way a layered window with per-pixel
// alpha is shown: overlay + (255 - alpha) / 255 * below.

namespace {

constexpr char SAMPLE_CLASS[] = "LightProbeSample"; // the record command's white windows
// Framed and sizable, with a title bar but no system menu: the caption buttons'
// glyphs come from a symbol font that a bare Wine prefix may lack.
constexpr DWORD SAMPLE_STYLE = WS_CAPTION | WS_THICKFRAME;
constexpr int SETTLED_MS = 50;                // two captures this far apart alike: drawn
constexpr int OVERLAY_WAIT_MS = 30000;        // for the program to start once told to
constexpr int DARK_WAIT_MS = 2 * DEADLINE_MS; // for its start-up light to fade
constexpr int DARK_HOLD_MS = 1000;            // dark this long: past the start's fade, which a lost
                                              // first presentation can hide from a single look

struct SampleWindow {
    RECT rect;     // screen coordinates
    int32_t at_ms; // when the recording activates it, from its start
    HWND handle;
};

struct Recording {
    std::vector<Capture> desktops; // one per sample window, with that one active
    std::vector<Capture> frames;   // the overlay's premultiplied pixels
    std::vector<double> times;     // ms from the start of the recording
    std::vector<int> active;       // the sample window last activated, -1 before any
};

// A white framed window that shows its title in the middle.
LRESULT CALLBACK sample_window_proc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message != WM_PAINT) return DefWindowProcA(window, message, w, l);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    char title[128];
    int length = GetWindowTextA(window, title, sizeof title);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, title, length, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
    return 0;
}

// Opens the sample windows in order; the last one opened ends up active.
bool open_sample_windows(std::vector<SampleWindow> &windows)
{
    register_class(SAMPLE_CLASS, sample_window_proc, WHITE_BRUSH);
    for (size_t i = 0; i < windows.size(); i++) {
        RECT r = windows[i].rect;
        char title[64];
        std::snprintf(title, sizeof title, "Window %zu  (%ld x %ld)", i + 1, r.right - r.left, r.bottom - r.top);
        windows[i].handle = open_window(SAMPLE_CLASS, title, SAMPLE_STYLE, 0, r, Show::IN_FRONT);
        if (!windows[i].handle) {
            say("FAIL: could not create sample window %zu", i + 1);
            return false;
        }
        if (wait_for_foreground(windows[i].handle, DEADLINE_MS) < 0) return false;
    }
    return true;
}

// Waits until a window is the foreground window, nothing is left to paint, and
// two captures of the screen SETTLED_MS apart are alike; the desktop is then in
// out. False after saying what was last seen.
bool capture_settled(HWND window, Capture &out)
{
    Capture previous;
    double previous_at = -1;
    bool alike = false;
    double waited = wait_until(DEADLINE_MS, [&] {
        if (GetForegroundWindow() != window || GetQueueStatus(QS_PAINT | QS_POSTMESSAGE)) return false;
        if (previous_at >= 0 && now_ms() - previous_at < SETTLED_MS) return false;
        if (!capture_screen(virtual_screen(), out)) return false;
        alike = previous_at >= 0 && out.pixels == previous.pixels;
        previous = out;
        previous_at = now_ms();
        return alike;
    });
    if (waited < 0)
        say("FAIL: window %08lx not settled in front after %d ms: the foreground window is %08lx, "
            "%s",
            handle_number(window), DEADLINE_MS, handle_number(GetForegroundWindow()),
            alike ? "the screen is still" : "the screen still changes or was not read");
    return waited >= 0;
}

// Captures the desktop with each sample window active in turn, before the
// program runs; the last window is left active.
bool capture_desktops(const std::vector<SampleWindow> &windows, Recording &out)
{
    for (const SampleWindow &w : windows) {
        SetForegroundWindow(w.handle);
        out.desktops.emplace_back();
        if (!capture_settled(w.handle, out.desktops.back())) return false;
    }
    return true;
}

// Captures frame_count frames of the virtual screen, one every interval_ms on a
// fixed schedule (a late capture is followed at once by the next one), and
// activates each sample window when its time has come, just before a capture;
// one window a frame, so that each activation shows in a frame of its own even
// when captures fall behind on a loaded machine.
void record_frames(const std::vector<SampleWindow> &windows, int frame_count, int interval_ms, Recording &out)
{
    Region screen = virtual_screen();
    size_t next = 0;
    int active = -1;
    double start = now_ms();
    for (int k = 0; k < frame_count; k++) {
        double due = start + double(k) * interval_ms;
        while (now_ms() < due) pump_for(0);
        double at = now_ms() - start;
        if (next < windows.size() && windows[next].at_ms <= at) {
            SetForegroundWindow(windows[next].handle);
            active = int(next++);
        }
        out.frames.emplace_back();
        capture_screen(screen, out.frames.back());
        out.times.push_back(at);
        out.active.push_back(active);
    }
}

// A premultiplied pixel as PNG and PAM store colour: straight, with its alpha.
uint32_t straight_alpha(uint32_t p)
{
    uint32_t a = p >> 24;
    if (a == 0) return 0;
    uint32_t c[3] = {p >> 16 & 255, p >> 8 & 255, p & 255};
    for (uint32_t &v : c) v = v >= a ? 255 : (v * 255 + a / 2) / a;
    return a << 24 | c[0] << 16 | c[1] << 8 | c[2];
}

// A premultiplied overlay pixel over an opaque one below, rounded to nearest.
uint32_t over(uint32_t overlay, uint32_t below)
{
    uint32_t a = overlay >> 24, out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t v = (overlay >> shift & 255) + ((255 - a) * (below >> shift & 255) + 127) / 255;
        out |= (v > 255 ? 255 : v) << shift;
    }
    return out;
}

// Writes each frame twice, as the overlay's own pixels (overlay-NNN.pam) and
// composed over the desktop (screen-NNN.pam), and a line per frame in frames.txt.
bool write_recording(const std::string &folder, const Recording &r)
{
    std::string list_path = folder + "\\frames.txt";
    FILE *list = std::fopen(list_path.c_str(), "wb"); // Unix lines, for the scripts
    if (!list) {
        say("cannot write %s", list_path.c_str());
        return false;
    }
    std::fprintf(list, "# frame, ms from the start, lit pixels, largest alpha, active "
                       "sample window (0: as before the first activation)\n");
    bool ok = true;
    Capture overlay, screen;
    for (size_t k = 0; k < r.frames.size() && ok; k++) {
        const Capture &frame = r.frames[k];
        const Capture &below = r.desktops[r.active[k] < 0 ? r.desktops.size() - 1 : size_t(r.active[k])];
        overlay = screen = {frame.region, std::vector<uint32_t>(frame.pixels.size())};
        for (size_t i = 0; i < frame.pixels.size(); i++) {
            overlay.pixels[i] = straight_alpha(frame.pixels[i]);
            screen.pixels[i] = over(frame.pixels[i], below.pixels[i]);
        }
        char name[64];
        std::snprintf(name, sizeof name, "\\overlay-%03zu.pam", k);
        ok = write_pam((folder + name).c_str(), overlay, true, false);
        std::snprintf(name, sizeof name, "\\screen-%03zu.pam", k);
        ok = ok && write_pam((folder + name).c_str(), screen, false, false);
        LitSummary lit = summarize_lit(frame);
        std::fprintf(list, "%zu %.1f %lld %u %d\n", k, r.times[k], lit.lit, lit.max_alpha, r.active[k] + 1);
    }
    ok = std::fclose(list) == 0 && ok;
    return ok;
}

// Prints how closely the captures kept to their schedule.
void report_timing(const Recording &r, int interval_ms)
{
    double longest = 0;
    for (size_t k = 1; k < r.times.size(); k++)
        if (r.times[k] - r.times[k - 1] > longest) longest = r.times[k] - r.times[k - 1];
    say("recorded %zu frames over %.0f ms, planned every %d ms; longest gap %.0f ms", r.frames.size(),
        r.times.empty() ? 0.0 : r.times.back(), interval_ms, longest);
}

} // namespace

// record FOLDER FRAMES INTERVAL_MS (X Y W H AT_MS)...: opens the sample windows,
// captures the desktop, says it is ready, waits for the program's overlay to show
// and go dark, records, and writes the frames into FOLDER. It takes two windows or
// more: the last one opened is the foreground window when the recording starts,
// so activating the first one is a change the program lights.
int command_record(int argc, char **argv)
{
    int32_t frame_count = 0, interval_ms = 0;
    if (argc < 13 || (argc - 3) % 5 != 0 || !parse_int(argv[1], frame_count) || !parse_int(argv[2], interval_ms) ||
        frame_count < 1 || interval_ms < 1)
        return usage();
    std::vector<SampleWindow> windows;
    for (int i = 3; i < argc; i += 5) {
        Region region;
        int32_t at_ms;
        if (!parse_region(argv + i, region) || !parse_int(argv[i + 4], at_ms)) return usage();
        windows.push_back({rect_of(region), at_ms, nullptr});
    }
    for (size_t i = 1; i < windows.size(); i++)
        if (windows[i].at_ms < windows[i - 1].at_ms) return usage();

    Recording recording;
    if (!open_sample_windows(windows) || !capture_desktops(windows, recording)) return EXIT_FAIL;
    say("ready; %zu sample windows open and the desktop captured", windows.size());
    // Serve the windows while the program starts, as a desktop's programs do.
    wait_for_shown_overlay(OVERLAY_WAIT_MS);
    HWND overlay = the_overlay(0);
    if (!overlay) return EXIT_FAIL;
    bool dark = false; // the window in front as the program starts gets the first light
    for (int look = 0; look < 3 && !dark; look++)
        dark = wait_until_dark(DARK_WAIT_MS) >= 0 && wait_for_light(virtual_screen(), DARK_HOLD_MS, SETTLED_MS) < 0;
    if (!dark) {
        say("FAIL: the overlay still shows light %d ms after it showed", DARK_WAIT_MS);
        print_window("  ", describe(overlay));
        return EXIT_FAIL;
    }
    record_frames(windows, frame_count, interval_ms, recording);
    report_timing(recording, interval_ms);
    bool ok = write_recording(argv[0], recording);
    for (const SampleWindow &w : windows) DestroyWindow(w.handle);
    return ok ? EXIT_PASS : EXIT_FAIL;
}
