// The knobs of the simulated desktop behind the Win32 stand-in: tests build a
// desktop of top-level windows, move the clock, and read back what the program
// asked of the platform. Product code never includes this header.
#pragma once

#include <windows.h>

#include <cstdint>
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

// What the platform knows about one window, for tests to inspect.
struct WindowInfo {
    bool alive;
    DWORD style;
    DWORD ex_style;
    RECT rect;
    LONG client_width;
    LONG client_height;
    std::string class_name;
    std::string title;
    WNDPROC procedure;
    HINSTANCE instance;
    int show_calls;   // ShowWindow calls
    int last_show;    // last ShowWindow mode
    int update_calls; // UpdateWindow calls
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

// A fresh process on a fresh desktop: 1024 x 768 virtual screen at (0, 0), the
// same desktop client size, no windows, counter at 0 with 10 MHz frequency,
// every record empty, and every block the program took from the heap released.
void reset();

void set_virtual_screen(int x, int y, int width, int height);
void set_desktop_client(int width, int height);
// Changes the metrics the platform reports from now on (a display-layout change).
void change_display_layout(int x, int y, int width, int height);

HWND add_window(const WindowSpec &spec);
// Creates a window that takes over the handle of a destroyed one.
HWND add_window_reusing(HWND handle, const WindowSpec &spec);
void destroy_window(HWND window);
void move_window(HWND window, RECT rect);
void set_client_size(HWND window, LONG width, LONG height);
void set_styles(HWND window, DWORD style, DWORD ex_style);
void set_visible(HWND window, bool visible);
// Minimizes: the platform parks the window at (-32000, -32000), 160 x 28.
void minimize(HWND window);
// Puts the window at the top of its band (topmost or not).
void raise_window(HWND window);
// Top-level windows, highest first (the desktop window is not among them).
std::vector<HWND> z_order();
WindowInfo window_info(HWND window);
int live_window_count();

void set_foreground(HWND window);
HWND foreground();
int set_foreground_calls();

void set_frequency(int64_t ticks_per_second);
void advance_counter(int64_t ticks);
int64_t counter();
// Extra ticks that every Sleep adds beyond its own length (work done in a pass).
void set_sleep_overhead(int64_t ticks);

// Makes the next n heap allocations fail.
void fail_next_allocations(int n);
int allocation_count();
int64_t allocated_bytes();

void post_message(HWND window, UINT message);

// Records. The call log can be switched off for very long runs.
void log_calls(bool on);
const std::vector<std::string> &calls();
void clear_calls();
int presentation_count();
const Presentation &last_presentation(); // valid when presentation_count() > 0
const std::vector<SoundCall> &sounds_played();
int sleep_count();
int64_t slept_milliseconds();
DWORD last_sleep();
LPTHREAD_START_ROUTINE thread_start();
LPVOID thread_parameter();
int thread_count();
bool class_registered(const std::string &name);
WNDCLASSEXA registered_class(const std::string &name);
HCURSOR current_cursor();
HCURSOR arrow_cursor();
DWORD allowed_foreground_process();
DWORD process_id();
// The pixels of a memory bitmap, top row first, and its size.
std::vector<uint32_t> bitmap_pixels(HBITMAP bitmap, int &width, int &height);
HDC screen_dc();

} // namespace sim
