// What the probe's commands share across its source files: the records of
// screen captures, windows and fans, and the helpers of probe.cpp that the
// several-monitor commands (monitors.cpp) reuse. probe.cpp defines them all.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr int EXIT_PASS = 0;
constexpr int EXIT_FAIL = 1;
constexpr int EXIT_USAGE = 2;

struct Region {
  int32_t x, y;           // screen coordinates of the top-left pixel
  int32_t width, height;  // pixels
};

struct Capture {
  Region region;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top-down, no gap
};

struct WindowInfo {
  HWND handle;
  std::string class_name, title;
  DWORD style, ex_style;
  RECT rect;        // screen coordinates
  DWORD process;    // Windows process id
  bool visible;
};

struct Fan {
  double apex_x, apex_y;    // virtual-screen pixels, rows down from the top edge
  double reach_x, reach_y;  // A and B: the rim's radii before the wobble
};

struct LitFan {
  Fan fan;
  const char *name;  // the window it belongs to, for messages
};

// Output, timing and this thread's windows.
void say(const char *format, ...);
double now_ms();
void pump_for(int ms);
int serve_window(HWND window, int lifetime_ms);  // negative: until it is closed

// The screen: the virtual screen's rectangle, and a readback of a region of it
// (rop SRCCOPY | CAPTUREBLT, as every check reads the overlay).
Region virtual_screen();
bool capture_screen(Region region, Capture &out, DWORD rop);
int64_t lit_pixels(const Capture &capture);
double wait_until_dark(int limit_ms);  // ms it took, or -1 after limit_ms
void save_failure(const Capture &capture, const char *name);

// Windows: the one overlay, descriptions, and the probe's window classes.
HWND the_overlay(int wait_ms);
WindowInfo describe(HWND window);
void print_window(const char *prefix, const WindowInfo &w);
LRESULT CALLBACK probe_window_proc(HWND window, UINT message, WPARAM w, LPARAM l);
void register_class(const char *name, WNDPROC procedure, int brush);  // brush < 0: none

// Where a window's fan falls, in virtual-screen pixels, and whether a capture of
// the whole virtual screen shows sound light with the given fans lit throughout.
Fan fan_of(RECT rect, Region screen);
bool may_be_lit(const Fan &fan, double x, double y);
bool must_be_lit(const Fan &fan, double x, double y);
bool light_scene_is_sound(const Capture &capture, const std::vector<LitFan> &lit,
                          const char *scenario);

// The command line.
int usage();
bool parse_int(const char *text, int32_t &value);

// The several-monitor commands of monitors.cpp: whether a command is one of
// them, and running it with the arguments after its name.
bool is_monitor_command(const std::string &command);
int run_monitor_command(const std::string &command, int argc, char **argv);
