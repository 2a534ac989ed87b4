// What the probe's files share: exit codes, window classes, the records of regions,
// captures, windows and fans, and the helpers each concern offers the others. One
// concern per file: wait, readback, desktop (windows), fan, process; the scenarios
// light, selftest, record, soak, monitors (several monitors), clicks (real input);
// probe.cpp the command line, which runs every command.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr int EXIT_PASS = 0;
constexpr int EXIT_FAIL = 1;
constexpr int EXIT_USAGE = 2;

constexpr char OVERLAY_NAME[] = "Solvane";            // the overlay's class name and title
constexpr char PROBE_CLASS[] = "LightProbeWindow";    // framed windows the probe opens
constexpr char BACKING_CLASS[] = "LightProbeBacking"; // white unframed windows
constexpr char PATTERN_CLASS[] = "LightProbePattern"; // the self-test's layered window

constexpr int DEADLINE_MS = 10000; // for anything the tests wait for: a loaded machine's
                                   // Wine takes seconds where an idle one takes ms
constexpr int POLL_MS = 10;        // between two looks at a condition, serving windows

constexpr uint32_t SENTINEL = 0x5A5A5A5Au; // capture buffers start with it: unread shows
constexpr uint32_t WHITE = 0x00FFFFFFu;    // a white 24-bit window as read back
constexpr int MAX_LIGHT_ALPHA = 234;       // brightest fan shade: trunc(1.0 * 233) + 1

struct Region {
    int32_t x, y;          // screen coordinates of the top-left pixel
    int32_t width, height; // pixels
};

struct Capture {
    Region region;
    std::vector<uint32_t> pixels; // 0xAARRGGBB, rows top-down, no gap
};

struct WindowInfo {
    HWND handle;
    std::string class_name, title;
    DWORD style, ex_style;
    RECT rect;     // screen coordinates
    DWORD process; // Windows process id
    bool visible;
};

struct Fan {
    double apex_x, apex_y;   // virtual-screen pixels, rows down from the top edge
    double reach_x, reach_y; // A and B: the rim's radii before the wobble
};

struct LitSummary {
    int64_t lit = 0, not_ramp = 0; // pixels not 0, and of them no light-ramp entry
    uint32_t max_alpha = 0;        // 0..255
    uint32_t first = 0;            // 0xAARRGGBB, the first lit pixel
};

struct LitFan {
    Fan fan;
    const char *name; // the window it belongs to, for messages
    RECT hidden{};    // screen coordinates the check leaves out (empty: none)
};

// ---- wait.cpp

// Prints one line prefixed "probe: " and flushes it; every command's output.
void say(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));
// A window handle for printing with %08lx: handles carry 32 bits in 32- and 64-bit
// processes alike, so both builds print the same text as the recording winmm.dll.
inline unsigned long handle_number(const void *handle)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle));
}
// The performance counter in milliseconds.
double now_ms();
// Serves this thread's windows for about ms milliseconds.
void pump_for(int ms);
// Waits for one of the handles while serving this thread's windows; the index of
// the signalled handle, or -1 after timeout_ms.
int wait_serving(const HANDLE *handles, DWORD count, int timeout_ms);

// Serves this thread's windows and looks at a condition every POLL_MS until it
// holds or deadline_ms have passed; returns the ms waited, or -1 at the deadline.
// The condition is asked once more at the deadline, so a deadline of 0 is one look.
template <typename Condition> double wait_until(int deadline_ms, Condition holds)
{
    double start = now_ms();
    for (;;) {
        bool last = now_ms() - start >= deadline_ms;
        if (holds()) return now_ms() - start;
        if (last) return -1;
        pump_for(POLL_MS);
    }
}
// Waits up to deadline_ms for a window to be the foreground window; the ms waited or -1.
double wait_for_foreground(HWND window, int deadline_ms);

// ---- readback.cpp

// The virtual screen's rectangle.
Region virtual_screen();
// A region as a RECT: right and bottom one past the last pixel.
RECT rect_of(Region region);
// The header of a 32-bit BI_RGB bitmap; rows top-down when height is negative.
BITMAPINFO bitmap_info_32(int32_t width, int32_t height);
// Reads a region of the screen into out (sentinels where BitBlt fails); false on failure.
bool capture_screen(Region region, Capture &out, DWORD rop = SRCCOPY | CAPTUREBLT);
// The light ramp's entry for a shade 0..255, and whether a pixel is one.
uint32_t ramp_entry(uint32_t shade);
bool is_ramp_entry(uint32_t pixel);
// Writes a capture as a PAM image, with or without alpha and its origin in a comment.
bool write_pam(const char *path, const Capture &capture, bool with_alpha, bool with_origin);
// The capture's non-zero pixels; those within a screen rectangle the capture holds.
int64_t lit_pixels(const Capture &capture);
int64_t lit_in(const Capture &capture, RECT within);
// The smallest screen rectangle around the capture's non-zero pixels; empty
// (right <= left) when there are none.
RECT lit_box(const Capture &capture);
// What is lit in a capture, for say_lit, the capture command and record's frames.
LitSummary summarize_lit(const Capture &capture);
// Counts the pixels other than value, printing the first of them unless told not to.
int64_t count_other_than(const Capture &capture, uint32_t value, bool print = true);
// Prints where a capture is lit: how many pixels, their bounding box, the largest
// alpha, how many are no light-ramp entry, and the first of them.
void say_lit(const Capture &capture);
// Waits until the whole virtual screen reads 0; the ms that took, or -1 after
// deadline_ms after saying what was still lit.
double wait_until_dark(int deadline_ms);
// Keeps a failing capture as NAME.pam in PROBE_SAVE_DIR, when that is set.
void save_failure(const Capture &capture, const char *name);

// ---- desktop.cpp

// A window's class, title, styles, rectangle, process and visibility, and a line of them.
WindowInfo describe(HWND window);
void print_window(const char *prefix, const WindowInfo &w);
// Every top-level window, highest in the Z order first; and those of the overlay's class.
std::vector<WindowInfo> top_level_windows();
std::vector<WindowInfo> overlays();
// Waits up to wait_ms for at least one overlay; returns all that exist then.
std::vector<WindowInfo> wait_for_overlays(int wait_ms);
// The one overlay, or null after printing what was found instead.
HWND the_overlay(int wait_ms);
// Waits for exactly one overlay, visible and covering the virtual screen (the
// program makes it hidden and shows it a few ms later); false at the deadline.
bool wait_for_shown_overlay(int deadline_ms);
// Registers a window class with a stock brush (-1: none); and the probe's own classes.
void register_class(const char *name, WNDPROC procedure, int brush);
void register_probe_classes();
// The window procedure of the probe's own classes: default handling, and closing
// one of their windows ends its serving; clicks.cpp's windows hand it what they
// do not note themselves.
LRESULT CALLBACK probe_window_proc(HWND window, UINT message, WPARAM w, LPARAM l);
// How a window the probe opens is shown: activated and made the foreground
// window; shown in the normal state alone; or shown without being activated.
enum class Show { IN_FRONT, NORMAL, BEHIND };
// Opens and paints a top-level window of a class at a screen rectangle, every
// window the probe opens; null when it could not be created.
HWND open_window(const char *class_name, const char *title, DWORD style, DWORD ex_style, RECT rect, Show show);
// Opens a white unframed popup without activating it.
HWND open_backing_window(RECT rect);
// Serves a window until lifetime_ms pass (for ever when negative) or it closes.
int serve_window(HWND window, int lifetime_ms);

// ---- fan.cpp

// The fan of a window at a screen rectangle, in virtual-screen pixels.
Fan fan_of(RECT rect, Region screen);
// Whether a pixel may be lit by the largest fan, or must be by the smallest.
bool may_be_lit(const Fan &fan, double x, double y);
bool must_be_lit(const Fan &fan, double x, double y);
// Every window that may carry a fan now.
std::vector<Fan> possible_fans();
// Checks a capture of the virtual screen during light: every lit pixel sound and
// within some fan, and each lit fan lit throughout outside its hidden rectangle;
// keeps the capture when a check fails.
bool light_scene_is_sound(const Capture &capture, const std::vector<LitFan> &lit, const char *scenario);
// A framed window for the light scenarios, its left edge at column_share of the width.
RECT window_for_light(Region screen, double column_share);

// ---- light.cpp: what its scenarios share with monitor-light's

// Waits for the overlay and for it to show nothing, as every light scenario starts.
bool overlay_ready_and_dark(int deadline_ms);
// A small box surely inside a fan, outside the screen rectangle hidden and outside
// every pixel the avoided fan may light (when given), to watch for its light;
// false after saying so.
bool box_in_fan(const Fan &fan, const Fan *avoid, RECT hidden, Region screen, Region &box);
// Waits for light in a box, looking every look_ms; the ms waited, or -1 after deadline_ms.
double wait_for_light(Region box, int deadline_ms, int look_ms);

// ---- process.cpp

// Whether a Windows process still runs.
bool process_alive(DWORD process);
// The one overlay's process opened with the given access, or null after saying why.
HANDLE open_overlay_process(DWORD access, DWORD &process_id);

// ---- probe.cpp

// Prints the usage; returns EXIT_USAGE.
int usage();
// Parses a whole decimal integer; and X Y W H, four of them with W and H above 0.
bool parse_int(const char *text, int32_t &value);
bool parse_region(char *const *argv, Region &region);

// ---- the commands, one per probe command (see usage())

int command_capture(int argc, char **argv);
int command_expect_transparent(int wait_ms, int hold_ms);
int command_list_windows();
int command_find_overlay(int wait_ms);
int command_open_window(RECT rect, const char *title, int lifetime_ms);
int command_open_dialog(RECT rect, const char *title, int lifetime_ms);
int command_backing(RECT rect, int lifetime_ms);
int command_light_first(int within_ms);
int command_light_two_fans();
int command_light_fades(int within_ms);
int command_survive_foreground(const std::string &which);
int command_selftest(int32_t x, int32_t y);
int command_present_pattern(int32_t x, int32_t y, const char *ready_name, const char *done_name);
int command_record(int argc, char **argv);
int command_terminate_overlay();
int command_memory();
int command_version_info(int argc, char **argv);
int command_soak(int seconds, int count, int period_ms, int reopen_every, int check_ms);
int command_monitor_layout(const char *expected);
int command_monitor_overlay(int wait_ms);
int command_monitor_light(const std::string &style, RECT rect, const char *lit_on, const char *name);
int command_clicks();
