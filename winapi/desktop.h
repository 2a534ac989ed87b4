// The simulated desktop behind the Win32 stand-in as tests see it: the record of
// what the program asked of the platform, read through desktop(), and the knobs
// that build a desktop of top-level windows and move the clock. Product code never
// includes this header.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

// A top-level window as a test describes it.
struct WindowSpec {
    DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    DWORD ex_style = 0;
    RECT rect = {100, 100, 500, 400}; // screen coordinates
    LONG client_width = -1;           // -1: the window's width less a 6-pixel frame
    LONG client_height = -1;          // -1: the window's height less frame and caption
    bool topmost_band = false;        // placed among the topmost windows
    std::string class_name = "Window";
    std::string title = "";
};

// What the platform knows about one window. A destroyed window keeps its record
// with alive false until a new window takes over its handle.
struct Window {
    bool alive = false;
    bool topmost = false; // in the topmost band of the Z order
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect = {};         // screen coordinates
    LONG client_width = 0;  // pixels
    LONG client_height = 0; // pixels
    std::string class_name;
    std::string title;
    WNDPROC procedure = nullptr; // the class's procedure, for windows the program made
    HINSTANCE instance = nullptr;
    int show_calls = 0;   // ShowWindow calls
    int last_show = -1;   // last ShowWindow mode, -1 before the first
    int update_calls = 0; // UpdateWindow calls
};

// A memory bitmap made by CreateCompatibleBitmap.
struct Bitmap {
    int width = 0;                // pixels
    int height = 0;               // pixels
    std::vector<uint32_t> pixels; // width * height, 0xAARRGGBB, top row first
};

// One UpdateLayeredWindow call, with the pixels it made the window show.
struct Presentation {
    HWND window;
    bool had_dst_dc;
    POINT dst;
    SIZE size;
    POINT src;
    DWORD key;
    BLENDFUNCTION blend;
    DWORD flags;
    std::vector<uint32_t> pixels; // size.cx * size.cy, top row first
};

struct SoundCall {
    const void *sound;
    UINT flags;
};

// What the program asked of the platform and what it was given. Only the stand-in
// writes it; tests read it through desktop().
struct Desktop {
    std::vector<std::string> calls; // the log of platform calls, oldest first
    std::map<HWND, Window> windows; // every top-level window ever made, by handle
    std::map<HBITMAP, Bitmap> bitmaps;
    std::map<std::string, WNDCLASSEXA> classes; // registered window classes, by name
    HWND foreground = nullptr;
    int set_foreground_calls = 0;
    int64_t counter = 0;         // performance-counter ticks
    int allocation_count = 0;    // heap blocks handed out
    int64_t allocated_bytes = 0; // bytes in them
    int presentation_count = 0;
    Presentation last_presentation; // valid when presentation_count > 0
    std::vector<SoundCall> sounds_played;
    int sleep_count = 0;
    int64_t slept_milliseconds = 0;                // ms, all Sleep calls together
    DWORD last_sleep = 0;                          // ms
    LPTHREAD_START_ROUTINE thread_start = nullptr; // of the last CreateThread
    LPVOID thread_parameter = nullptr;             // of the last CreateThread
    int thread_count = 0;
    HCURSOR current_cursor = nullptr;
    DWORD allowed_foreground_process = 0; // of the last AllowSetForegroundWindow
    // Handles the platform gives every process alike.
    HDC screen_dc = reinterpret_cast<HDC>(0x5000);            // GetDC(nullptr)
    HCURSOR arrow_cursor = reinterpret_cast<HCURSOR>(0x7F00); // LoadCursorA(nullptr, IDC_ARROW)
    DWORD process_id = 4242;                                  // GetCurrentProcessId()
};

// The simulated desktop as it is now; reset() makes a new one.
const Desktop &desktop();

// A fresh process on a fresh desktop: 1024 x 768 virtual screen at (0, 0), the
// same desktop client size, no windows, counter at 0 with 10 MHz frequency,
// every record empty, and every block the program took from the heap released.
void reset();

void set_virtual_screen(int x, int y, int width, int height);
void set_desktop_client(int width, int height);
// Changes the metrics the platform reports from now on (a display-layout change).
void change_display_layout(int x, int y, int width, int height);

// Adds a window at the top of its band; CreateWindowExA adds the program's own.
HWND add_window(const WindowSpec &spec);
// Creates a window that takes over the handle of a destroyed one.
HWND add_window_reusing(HWND handle, const WindowSpec &spec);
// Destroys a live window; DestroyWindow and the default WM_CLOSE handling call it too.
void destroy_window(HWND window);
void move_window(HWND window, RECT rect);
void set_client_size(HWND window, LONG width, LONG height);
void set_styles(HWND window, DWORD style, DWORD ex_style);
void set_visible(HWND window, bool visible);
// Minimizes: the platform parks the window at (-32000, -32000), 160 x 28.
void minimize(HWND window);
// Puts the window at the top of its band (topmost or not).
void raise_window(HWND window);
// Makes GW_HWNDNEXT of the lowest window give the highest one again: a Z order that
// windows keep changing while a walk runs can bring it back round.
void cycle_z_order(bool on);

// Makes the window the foreground one and raises it; SetForegroundWindow calls it too.
void set_foreground(HWND window);

void set_frequency(int64_t ticks_per_second);
void advance_counter(int64_t ticks);
// Extra ticks that every Sleep adds beyond its own length (work done in a pass).
void set_sleep_overhead(int64_t ticks);

// Makes the next n heap allocations fail.
void fail_next_allocations(int n);

void post_message(HWND window, UINT message);

// The call log can be switched off for very long runs.
void log_calls(bool on);
void clear_calls();

} // namespace sim
