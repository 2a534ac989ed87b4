// The end-to-end probe: a Windows console program that the e2e scripts run under
// Wine beside the real light programs. It finds the overlay and checks its styles
// and rectangle, reads the screen back, opens and activates framed windows, ends
// the overlay's process, and runs the light scenarios. Every check prints what it
// saw. Exit status: 0 passed, 1 a check failed, 2 bad command line.

#include <windows.h>
#include <psapi.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "probe.h"

constexpr char OVERLAY_NAME[] = "Solvane";             // the overlay's class name and title
constexpr char PROBE_CLASS[] = "LightProbeWindow";     // framed windows the probe opens
constexpr char BACKING_CLASS[] = "LightProbeBacking";  // white unframed windows
constexpr char PATTERN_CLASS[] = "LightProbePattern";  // the self-test's layered window

constexpr uint32_t SENTINEL = 0x5A5A5A5Au;  // capture buffers start with it: unread shows
constexpr int MAX_LIGHT_ALPHA = 234;        // brightest fan shade: trunc(1.0 * 233) + 1
constexpr int APEX_ROWS_ABOVE = 150;        // the fan's apex lies this far above the top
constexpr int WOBBLE = 64;                  // the fan's rim moves in and out by this much
constexpr int FAN_MARGIN = 8;  // pixels of slack at a predicted fan edge: rounding, the
                               // 5-pixel frame inflation some windows get
constexpr double PI = 3.14159265358979;
constexpr double FAN_FIRST_ANGLE = 12 * PI / 256;  // rim parameter of the first ray's edge
constexpr double FAN_LAST_ANGLE = 120 * PI / 256;  // rim parameter of the last ray's edge

// ---------------------------------------------------------------------------
// Output and timing

void say(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("probe: ", stdout);
  std::vprintf(format, args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  va_end(args);
}

double now_ms() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * double(counter.QuadPart) / double(frequency.QuadPart);
}

// Serves this thread's windows for about ms milliseconds.
void pump_for(int ms) {
  double until = now_ms() + ms;
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(1);
  } while (now_ms() < until);
}

// Waits for one of the handles while serving this thread's windows, so that a
// message another process sends to them (activation moving between processes)
// does not stall that process. Returns the index of the signalled handle, or -1.
int wait_serving(const HANDLE *handles, DWORD count, int timeout_ms) {
  double until = now_ms() + timeout_ms;
  for (;;) {
    double left = until - now_ms();
    if (left < 0) return -1;
    DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, DWORD(left), QS_ALLINPUT);
    if (result < WAIT_OBJECT_0 + count) return int(result - WAIT_OBJECT_0);
    if (result != WAIT_OBJECT_0 + count) return -1;
    pump_for(0);
  }
}

// ---------------------------------------------------------------------------
// Pixels

Region virtual_screen() {
  return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
          GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// Reads what the screen shows in a region, as the e2e tests see the overlay:
// the screen DC copied with CAPTUREBLT (layered windows included) into a 32-bit
// top-down DIB section. Returns false, with the buffer still full of sentinels,
// when BitBlt fails.
bool capture_screen(Region region, Capture &out, DWORD rop = SRCCOPY | CAPTUREBLT) {
  out.region = region;
  out.pixels.assign(size_t(region.width) * size_t(region.height), SENTINEL);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = region.width;
  info.bmiHeader.biHeight = -region.height;  // negative: top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void *bits = nullptr;
  HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib && bits) {
    std::memcpy(bits, out.pixels.data(), out.pixels.size() * 4);
    HGDIOBJ previous = SelectObject(memory, dib);
    ok = BitBlt(memory, 0, 0, region.width, region.height, screen, region.x, region.y, rop);
    GdiFlush();
    std::memcpy(out.pixels.data(), bits, out.pixels.size() * 4);
    SelectObject(memory, previous);
    DeleteObject(dib);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) say("BitBlt of %dx%d at (%d,%d) from the screen failed", region.width,
               region.height, region.x, region.y);
  return ok;
}

// The light ramp's entry for a shade: alpha and red the shade, green 85 %, blue 20 %.
uint32_t ramp_entry(uint32_t shade) {
  return shade << 24 | shade << 16 | (85 * shade / 100) << 8 | shade / 5;
}

bool is_ramp_entry(uint32_t pixel) { return pixel == ramp_entry(pixel >> 24); }

// Writes a capture as a PAM image (RGB_ALPHA, 8 bits per channel), with the screen
// position of its top-left pixel in a comment.
bool write_pam(const char *path, const Capture &capture) {
  FILE *file = std::fopen(path, "wb");
  if (!file) {
    say("cannot write %s", path);
    return false;
  }
  std::fprintf(file, "P7\n# origin %d %d\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\n"
               "TUPLTYPE RGB_ALPHA\nENDHDR\n", capture.region.x, capture.region.y,
               capture.region.width, capture.region.height);
  std::vector<unsigned char> row(size_t(capture.region.width) * 4);
  for (int32_t y = 0; y < capture.region.height; y++) {
    for (int32_t x = 0; x < capture.region.width; x++) {
      uint32_t p = capture.pixels[size_t(y) * size_t(capture.region.width) + size_t(x)];
      row[size_t(x) * 4 + 0] = (unsigned char)(p >> 16);
      row[size_t(x) * 4 + 1] = (unsigned char)(p >> 8);
      row[size_t(x) * 4 + 2] = (unsigned char)p;
      row[size_t(x) * 4 + 3] = (unsigned char)(p >> 24);
    }
    if (std::fwrite(row.data(), 1, row.size(), file) != row.size()) break;
  }
  bool ok = !std::ferror(file);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) say("cannot finish %s", path);
  return ok;
}

// ---------------------------------------------------------------------------
// Windows on the desktop

WindowInfo describe(HWND window) {
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

void print_window(const char *prefix, const WindowInfo &w) {
  say("%s%p class \"%s\" title \"%s\" style %08lx exstyle %08lx rect (%ld,%ld)-(%ld,%ld) "
      "%s pid %lu", prefix, (void *)w.handle, w.class_name.c_str(), w.title.c_str(),
      w.style, w.ex_style, w.rect.left, w.rect.top, w.rect.right, w.rect.bottom,
      w.visible ? "visible" : "hidden", w.process);
}

BOOL CALLBACK collect_window(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<WindowInfo> *>(list)->push_back(describe(window));
  return TRUE;
}

// Every top-level window, highest in the Z order first.
std::vector<WindowInfo> top_level_windows() {
  std::vector<WindowInfo> list;
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&list));
  return list;
}

std::vector<WindowInfo> overlays() {
  std::vector<WindowInfo> found;
  for (const WindowInfo &w : top_level_windows())
    if (w.class_name == OVERLAY_NAME) found.push_back(w);
  return found;
}

// Waits up to wait_ms for at least one overlay; returns all that exist then.
std::vector<WindowInfo> wait_for_overlays(int wait_ms) {
  double until = now_ms() + wait_ms;
  std::vector<WindowInfo> found = overlays();
  while (found.empty() && now_ms() < until) {
    Sleep(50);
    found = overlays();
  }
  return found;
}

// The one overlay, or null after printing what was found instead.
HWND the_overlay(int wait_ms) {
  std::vector<WindowInfo> found = wait_for_overlays(wait_ms);
  if (found.size() == 1) return found[0].handle;
  say("FAIL: %zu top-level windows of class \"%s\", expected exactly 1", found.size(),
      OVERLAY_NAME);
  for (const WindowInfo &w : found) print_window("  ", w);
  return nullptr;
}

bool process_alive(DWORD process) {
  HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  if (!handle) return false;
  bool alive = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
  CloseHandle(handle);
  return alive;
}

LRESULT CALLBACK probe_window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, w, l);
}

void register_class(const char *name, WNDPROC procedure, int brush) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = procedure;
  c.hInstance = GetModuleHandleA(nullptr);
  c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  c.hbrBackground = brush < 0 ? nullptr : HBRUSH(GetStockObject(brush));
  c.lpszClassName = name;
  RegisterClassExA(&c);
}

void register_probe_classes() {
  register_class(PROBE_CLASS, probe_window_proc, BLACK_BRUSH);
  register_class(BACKING_CLASS, probe_window_proc, WHITE_BRUSH);
  register_class(PATTERN_CLASS, DefWindowProcA, -1);
}

// Opens a framed window at a screen rectangle and makes it the foreground window.
HWND open_framed_window(RECT rect, const char *title) {
  HWND window = CreateWindowExA(0, PROBE_CLASS, title, WS_OVERLAPPEDWINDOW, rect.left,
                                rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetForegroundWindow(window);
  return window;
}

// Opens a white unframed popup without activating it: something other than black
// below the overlay that no fan is drawn for (it has no frame).
HWND open_backing_window(RECT rect) {
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, BACKING_CLASS, "backing", WS_POPUP,
                                rect.left, rect.top, rect.right - rect.left,
                                rect.bottom - rect.top, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);
  return window;
}

// ---------------------------------------------------------------------------
// Where light may fall. A window's fan spreads down and to the right from an apex
// 150 rows above the top of the virtual screen and height/8 columns left of the
// window's left edge, out to the rim points (cos a * (A + w), sin a * (B + w)) for
// rim parameters a from 12*pi/256 to 120*pi/256, where the wobble w stays within
// 64 pixels either way.

Fan fan_of(RECT rect, Region screen) {
  int32_t left = rect.left - screen.x, top = rect.top - screen.y;
  int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
  Fan fan;
  fan.apex_x = left - screen.height / 8;
  fan.apex_y = -APEX_ROWS_ABOVE;
  fan.reach_x = width / 3 + screen.width / 7 + 64;
  fan.reach_y = top / 4 + height / 3 + screen.height / 3 + 64;
  return fan;
}

// The direction from the apex, below the horizontal, of the rim point with rim
// parameter angle: the rim is an ellipse, so this is steeper than the parameter.
double rim_direction(const Fan &fan, double angle, double wobble) {
  return std::atan2(std::sin(angle) * (fan.reach_y + wobble),
                    std::cos(angle) * (fan.reach_x + wobble));
}

// How far inside a fan a pixel's centre lies, in pixels (negative: outside). The
// outer bound is the largest fan the wobble can make, the inner bound the
// smallest: the rim ellipse with radii widened or narrowed by the wobble, and the
// two straight edges at their widest or narrowest directions.
double depth_in_fan(const Fan &fan, double x, double y, bool outer) {
  double wobble = outer ? WOBBLE : -WOBBLE;
  double dx = x + 0.5 - fan.apex_x, dy = y + 0.5 - fan.apex_y;
  double distance = std::sqrt(dx * dx + dy * dy);
  double direction = std::atan2(dy, dx);
  // Whether a wider rim turns an edge up or down depends on which radius is the
  // larger, so both ends of the wobble are tried.
  double first_a = rim_direction(fan, FAN_FIRST_ANGLE, WOBBLE);
  double first_b = rim_direction(fan, FAN_FIRST_ANGLE, -WOBBLE);
  double last_a = rim_direction(fan, FAN_LAST_ANGLE, WOBBLE);
  double last_b = rim_direction(fan, FAN_LAST_ANGLE, -WOBBLE);
  double first = outer ? std::fmin(first_a, first_b) : std::fmax(first_a, first_b);
  double last = outer ? std::fmax(last_a, last_b) : std::fmin(last_a, last_b);
  double side = distance * std::sin(std::fmin(direction - first, last - direction));
  double rx = fan.reach_x + wobble, ry = fan.reach_y + wobble;
  double rim = 1.0 / std::sqrt(std::pow(std::cos(direction) / rx, 2) +
                               std::pow(std::sin(direction) / ry, 2));
  return std::fmin(side, rim - distance);
}

// A pixel may be lit when it lies within FAN_MARGIN of the largest fan.
bool may_be_lit(const Fan &fan, double x, double y) {
  return depth_in_fan(fan, x, y, true) > -FAN_MARGIN;
}

// A pixel must be lit when it lies FAN_MARGIN inside the smallest fan.
bool must_be_lit(const Fan &fan, double x, double y) {
  return depth_in_fan(fan, x, y, false) > FAN_MARGIN;
}

// Every window that may carry a fan: the visible framed ones, and any window the
// size of the desktop's client area.
std::vector<Fan> possible_fans() {
  std::vector<Fan> fans;
  Region screen = virtual_screen();
  RECT desktop_client{};
  GetClientRect(GetDesktopWindow(), &desktop_client);
  for (const WindowInfo &w : top_level_windows()) {
    if (w.class_name == OVERLAY_NAME) continue;
    LONG width = w.rect.right - w.rect.left, height = w.rect.bottom - w.rect.top;
    bool framed = w.visible && (w.style & WS_CAPTION) != 0;
    bool desktop_sized = width == desktop_client.right && height == desktop_client.bottom;
    if (framed || desktop_sized) fans.push_back(fan_of(w.rect, screen));
  }
  return fans;
}

struct LightReport {
  int64_t lit = 0;         // non-zero pixels
  int64_t not_ramp = 0;    // of them, not a light-ramp entry
  int64_t too_bright = 0;  // of them, alpha above MAX_LIGHT_ALPHA
  int64_t stray = 0;       // of them, outside every fan
  int max_alpha = 0;
  int32_t first_x = 0, first_y = 0;  // the first pixel that broke a rule
  uint32_t first_pixel = 0;
};

// Checks every pixel of a capture of the whole virtual screen. The session's X
// server reads back the overlay's own pixels wherever it lies (the self-test
// proves it), so every pixel seen here is one the program presented.
LightReport examine_light(const std::vector<Fan> &fans, const Capture &capture) {
  LightReport report;
  bool noted = false;
  for (int32_t y = 0; y < capture.region.height; y++) {
    for (int32_t x = 0; x < capture.region.width; x++) {
      uint32_t p = capture.pixels[size_t(y) * size_t(capture.region.width) + size_t(x)];
      if (p == 0) continue;
      report.lit++;
      int alpha = int(p >> 24);
      if (alpha > report.max_alpha) report.max_alpha = alpha;
      bool ramp = is_ramp_entry(p), dim = alpha <= MAX_LIGHT_ALPHA;
      bool in_fan = false;
      for (const Fan &fan : fans) in_fan = in_fan || may_be_lit(fan, x, y);
      report.not_ramp += !ramp;
      report.too_bright += !dim;
      report.stray += !in_fan;
      if (!noted && !(ramp && dim && in_fan)) {
        noted = true;
        report.first_x = capture.region.x + x;
        report.first_y = capture.region.y + y;
        report.first_pixel = p;
      }
    }
  }
  return report;
}

// Keeps a capture that failed a check as NAME.pam in the folder that
// PROBE_SAVE_DIR names, when it is set.
void save_failure(const Capture &capture, const char *name) {
  const char *folder = std::getenv("PROBE_SAVE_DIR");
  if (!folder || !*folder) return;
  std::string path = std::string(folder) + "\\" + name + ".pam";
  if (write_pam(path.c_str(), capture)) say("the failing screen is in %s", path.c_str());
}

void print_fans(const std::vector<Fan> &fans) {
  for (const Fan &f : fans)
    say("  a fan may fall from apex (%.0f,%.0f) with reach %.0f x %.0f", f.apex_x, f.apex_y,
        f.reach_x, f.reach_y);
}

bool light_is_sound(const LightReport &r) {
  say("lit %lld pixels, max alpha %d; not a ramp entry %lld, brighter than %d %lld, "
      "outside every fan %lld", (long long)r.lit, r.max_alpha, (long long)r.not_ramp,
      MAX_LIGHT_ALPHA, (long long)r.too_bright, (long long)r.stray);
  if (r.not_ramp || r.too_bright || r.stray) {
    say("FAIL: first offending pixel %08lx at (%ld,%ld)", (unsigned long)r.first_pixel,
        (long)r.first_x, (long)r.first_y);
    return false;
  }
  return true;
}

// Checks that every pixel surely inside a fan is lit, in a capture of the whole
// virtual screen.
bool fan_is_lit(const Capture &capture, const Fan &fan, const char *name) {
  int64_t expected = 0, dark = 0;
  int32_t first_x = 0, first_y = 0;
  for (int32_t y = 0; y < capture.region.height; y++) {
    for (int32_t x = 0; x < capture.region.width; x++) {
      if (!must_be_lit(fan, x, y)) continue;
      expected++;
      if (capture.pixels[size_t(y) * size_t(capture.region.width) + size_t(x)] == 0) {
        if (dark == 0) first_x = capture.region.x + x, first_y = capture.region.y + y;
        dark++;
      }
    }
  }
  say("fan of %s: %lld pixels surely inside, %lld of them dark", name, (long long)expected,
      (long long)dark);
  if (expected == 0) {
    say("FAIL: the fan of %s has no pixel surely on screen; the scene is badly placed", name);
    return false;
  }
  if (dark) say("FAIL: first dark pixel of the fan of %s at (%ld,%ld)", name, (long)first_x,
                (long)first_y);
  return dark == 0;
}

// Checks a capture of the whole virtual screen during light: every lit pixel
// sound and within some window's fan, and every given fan lit throughout. Keeps
// the capture when a check fails.
bool light_scene_is_sound(const Capture &capture, const std::vector<LitFan> &lit,
                          const char *scenario) {
  std::vector<Fan> fans = possible_fans();
  LightReport report = examine_light(fans, capture);
  bool ok = light_is_sound(report);
  if (report.stray) print_fans(fans);
  for (const LitFan &f : lit) ok = fan_is_lit(capture, f.fan, f.name) && ok;
  if (!ok) save_failure(capture, scenario);
  return ok;
}

int64_t lit_pixels(const Capture &capture) {
  int64_t lit = 0;
  for (uint32_t p : capture.pixels) lit += p != 0;
  return lit;
}

// Waits until the whole virtual screen reads 0, serving this thread's windows
// meanwhile; returns the time that took, or -1 after limit_ms.
double wait_until_dark(int limit_ms) {
  double start = now_ms();
  Capture capture;
  do {
    if (capture_screen(virtual_screen(), capture) && lit_pixels(capture) == 0)
      return now_ms() - start;
    pump_for(10);
  } while (now_ms() - start < limit_ms);
  return -1;
}

// A framed window a fifth of the screen wide and an eighth high, five eighths
// down the screen, its left edge at column_share of the width: its fan reaches
// well into the screen, and two at 0.1 and 0.6 have fans apart.
RECT window_for_light(Region screen, double column_share) {
  RECT rect;
  rect.left = screen.x + int32_t(screen.width * column_share);
  rect.top = screen.y + screen.height * 5 / 8;
  rect.right = rect.left + screen.width / 5;
  rect.bottom = rect.top + screen.height / 8;
  return rect;
}

// ---------------------------------------------------------------------------
// Commands

int usage() {
  std::fputs(
      "usage: probe COMMAND ...\n"
      "  selftest [X Y]                  present a known image on a layered window of\n"
      "                                  another process and read it back exactly\n"
      "  list-windows                    print every top-level window\n"
      "  find-overlay [WAIT_MS]          check the one overlay's styles and rectangle\n"
      "  capture [--region X Y W H] [--out FILE.pam] [--expect-all AARRGGBB]\n"
      "                                  read the screen (default: the virtual screen)\n"
      "  expect-transparent WAIT_MS HOLD_MS  the screen reads 0 within WAIT_MS and\n"
      "                                  stays so for HOLD_MS\n"
      "  open-window X Y W H [TITLE [MS]] open and activate a framed window, serve it\n"
      "  backing X Y W H [MS]            open a white unframed window, serve it\n"
      "  terminate-overlay               end the overlay's process\n"
      "  light-first [WITHIN_MS]         light appears after an activation, soundly\n"
      "  light-two-fans                  two activations in turn light two fans\n"
      "  light-fades [WITHIN_MS]         the overlay is transparent again in time\n"
      "  survive-foreground desktop|overlay  the program outlives that foreground\n"
      "  record FOLDER FRAMES INTERVAL_MS (X Y W H AT_MS)...  (two windows or more)\n"
      "                                  open sample windows, capture the desktop, wait\n"
      "                                  for the overlay, record it while activating\n"
      "                                  the windows, write the frames into FOLDER\n"
      "  version-info EXE [NAME=VALUE]...  print the version resource and check values\n"
      "                                  (a string's name, FILEVERSION, PRODUCTVERSION)\n"
      "  open-dialog X Y W H [TITLE [MS]] as open-window, with a fixed dialog frame\n"
      "  memory                          print the overlay process's memory counters\n"
      "  soak SECONDS WINDOWS PERIOD_MS REOPEN_EVERY CHECK_MS\n"
      "                                  activate windows in turn, reopening some, and\n"
      "                                  check the light now and then\n"
      "  monitor-layout [EXPECTED]       print (and check) the virtual screen, the\n"
      "                                  desktop's client size and the monitors\n"
      "  monitor-overlay WAIT_MS         the overlay moves onto the virtual screen\n"
      "  monitor-light STYLE X Y W H LIT_ON NAME  a window of STYLE (framed, popup,\n"
      "                                  tool) gets light on the monitors LIT_ON\n"
      "                                  (0 the primary, e.g. 0,1) or none at all\n"      "Exit status: 0 passed, 1 a check failed, 2 bad command line.\n",
      stderr);
  return EXIT_USAGE;
}

bool parse_int(const char *text, int32_t &value) {
  char *end = nullptr;
  long parsed = std::strtol(text, &end, 10);
  if (!*text || *end) return false;
  value = int32_t(parsed);
  return true;
}

int command_list_windows() {
  for (const WindowInfo &w : top_level_windows()) print_window("", w);
  Region s = virtual_screen();
  say("virtual screen (%d,%d) %dx%d; foreground %p", s.x, s.y, s.width, s.height,
      (void *)GetForegroundWindow());
  return EXIT_PASS;
}

int command_find_overlay(int wait_ms) {
  HWND overlay = the_overlay(wait_ms);
  if (!overlay) return EXIT_FAIL;
  WindowInfo w = describe(overlay);
  print_window("overlay ", w);
  Region s = virtual_screen();
  bool ok = true;
  auto expect = [&ok](bool condition, const char *what) {
    if (!condition) say("FAIL: %s", what);
    ok = ok && condition;
  };
  expect(w.title == OVERLAY_NAME, "the title is not \"Solvane\"");
  // The system adds WS_CLIPSIBLINGS to every top-level window, and ShowWindow
  // WS_VISIBLE; everything else is exactly WS_POPUP.
  expect((w.style & ~(WS_VISIBLE | WS_CLIPSIBLINGS)) == WS_POPUP,
         "the style is not WS_POPUP alone");
  expect((w.style & WS_VISIBLE) != 0, "the overlay is not visible");
  expect((w.ex_style & WS_EX_LAYERED) != 0, "WS_EX_LAYERED is clear");
  expect((w.ex_style & WS_EX_TOOLWINDOW) != 0, "WS_EX_TOOLWINDOW is clear");
  expect((w.ex_style & WS_EX_TOPMOST) != 0, "WS_EX_TOPMOST is clear");
  expect((w.ex_style & WS_EX_TRANSPARENT) == 0, "WS_EX_TRANSPARENT is set");
  bool covers = w.rect.left == s.x && w.rect.top == s.y && w.rect.right == s.x + s.width &&
                w.rect.bottom == s.y + s.height;
  if (!covers) say("virtual screen (%d,%d)-(%d,%d)", s.x, s.y, s.x + s.width, s.y + s.height);
  expect(covers, "the rectangle is not the virtual screen's");
  expect(process_alive(w.process), "the overlay's process is not running");
  if (ok) say("PASS: one overlay, styles and rectangle as expected");
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Counts the pixels of a capture that differ from a value, printing the first.
int64_t count_other_than(const Capture &capture, uint32_t value) {
  int64_t other = 0;
  for (size_t i = 0; i < capture.pixels.size(); i++) {
    if (capture.pixels[i] == value) continue;
    if (other++ == 0)
      say("first pixel other than %08lx: %08lx at (%d,%d)", (unsigned long)value,
          (unsigned long)capture.pixels[i],
          capture.region.x + int(i % size_t(capture.region.width)),
          capture.region.y + int(i / size_t(capture.region.width)));
  }
  return other;
}

int command_capture(int argc, char **argv) {
  Region region = virtual_screen();
  const char *out = nullptr;
  bool expect_all = false;
  uint32_t expected = 0;
  for (int i = 0; i < argc; i++) {
    std::string option = argv[i];
    if (option == "--region" && i + 4 < argc) {
      if (!parse_int(argv[i + 1], region.x) || !parse_int(argv[i + 2], region.y) ||
          !parse_int(argv[i + 3], region.width) || !parse_int(argv[i + 4], region.height) ||
          region.width <= 0 || region.height <= 0)
        return usage();
      i += 4;
    } else if (option == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (option == "--expect-all" && i + 1 < argc) {
      char *end = nullptr;
      expected = uint32_t(std::strtoul(argv[++i], &end, 16));
      if (*end) return usage();
      expect_all = true;
    } else {
      return usage();
    }
  }
  Capture capture;
  if (!capture_screen(region, capture)) return EXIT_FAIL;
  int64_t nonzero = 0, not_ramp = 0;
  int max_alpha = 0;
  for (uint32_t p : capture.pixels) {
    nonzero += p != 0;
    not_ramp += p != 0 && !is_ramp_entry(p);
    if (int(p >> 24) > max_alpha) max_alpha = int(p >> 24);
  }
  say("captured %dx%d at (%d,%d): %lld non-zero pixels, max alpha %d, %lld not ramp entries",
      region.width, region.height, region.x, region.y, (long long)nonzero, max_alpha,
      (long long)not_ramp);
  bool ok = !out || write_pam(out, capture);
  if (expect_all) {
    int64_t other = count_other_than(capture, expected);
    if (other) say("FAIL: %lld pixels are not %08lx", (long long)other, (unsigned long)expected);
    ok = ok && other == 0;
  }
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// The whole virtual screen reads 0 within wait_ms, and on every look for hold_ms
// after that.
int command_expect_transparent(int wait_ms, int hold_ms) {
  Region screen = virtual_screen();
  Capture capture;
  double start = now_ms();
  int64_t lit = -1;
  while (lit != 0 && now_ms() - start < wait_ms) {
    lit = capture_screen(screen, capture) ? lit_pixels(capture) : -1;
    if (lit != 0) Sleep(50);
  }
  if (lit != 0) {
    say("FAIL: after %d ms %lld pixels of the %dx%d screen are not 0", wait_ms, (long long)lit,
        screen.width, screen.height);
    count_other_than(capture, 0);
    return EXIT_FAIL;
  }
  say("the %dx%d screen read 0 after %.0f ms", screen.width, screen.height, now_ms() - start);
  int looks = 0;
  start = now_ms();
  while (now_ms() - start < hold_ms) {
    Sleep(100);
    looks++;
    lit = capture_screen(screen, capture) ? lit_pixels(capture) : -1;
    if (lit != 0) {
      say("FAIL: %lld pixels not 0 on look %d, %.0f ms later", (long long)lit, looks,
          now_ms() - start);
      count_other_than(capture, 0);
      return EXIT_FAIL;
    }
  }
  say("PASS: every pixel 0 on %d more looks over %d ms", looks, hold_ms);
  return EXIT_PASS;
}

// Serves a window the probe opened until lifetime_ms pass (for ever when
// negative) or the window is closed.
int serve_window(HWND window, int lifetime_ms) {
  double until = now_ms() + lifetime_ms;
  MSG msg;
  while (lifetime_ms < 0 || now_ms() < until) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0)
      continue;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return EXIT_PASS;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  DestroyWindow(window);
  return EXIT_PASS;
}

int command_open_window(RECT rect, const char *title, int lifetime_ms) {
  register_probe_classes();
  HWND window = open_framed_window(rect, title);
  if (!window) {
    say("FAIL: could not create the window");
    return EXIT_FAIL;
  }
  pump_for(50);
  print_window("opened ", describe(window));
  say("ready; the foreground window %s", GetForegroundWindow() == window ? "is this one"
                                                                          : "is another");
  return serve_window(window, lifetime_ms);
}

int command_backing(RECT rect, int lifetime_ms) {
  register_probe_classes();
  HWND window = open_backing_window(rect);
  if (!window) {
    say("FAIL: could not create the window");
    return EXIT_FAIL;
  }
  pump_for(50);
  print_window("opened ", describe(window));
  say("ready");
  return serve_window(window, lifetime_ms);
}

int command_terminate_overlay() {
  std::vector<WindowInfo> found = overlays();
  if (found.empty()) {
    say("FAIL: no overlay window to end");
    return EXIT_FAIL;
  }
  bool ok = true;
  for (const WindowInfo &w : found) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, w.process);
    if (!process) {
      say("FAIL: cannot open process %lu of overlay %p", w.process, (void *)w.handle);
      ok = false;
      continue;
    }
    TerminateProcess(process, 0);
    bool ended = WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    say("process %lu of overlay %p %s", w.process, (void *)w.handle,
        ended ? "ended" : "did not end within 5 s");
    ok = ok && ended;
    CloseHandle(process);
  }
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Waits for the overlay and for it to show nothing, as every light scenario starts.
bool overlay_ready_and_dark() {
  if (!the_overlay(5000)) return false;
  if (wait_until_dark(3000) < 0) {
    say("FAIL: the overlay still shows light 3 s into the scenario");
    return false;
  }
  return true;
}

// Activates a framed window and checks that light appears within within_ms,
// exactly of the ramp, no brighter than a fan can be, only where fans fall, and
// over the whole of the window's fan.
int command_light_first(int within_ms) {
  if (!overlay_ready_and_dark()) return EXIT_FAIL;
  register_probe_classes();
  Region screen = virtual_screen();
  RECT rect = window_for_light(screen, 0.25);
  Fan fan = fan_of(rect, screen);
  // Watch a small box that surely lies inside the fan, so that each look is quick.
  Region box{screen.x + int32_t(fan.apex_x + fan.reach_x / 3), screen.y + 8, 16, 16};
  for (int corner = 0; corner < 4; corner++) {
    double x = box.x - screen.x + (corner & 1) * box.width;
    double y = box.y - screen.y + (corner >> 1) * box.height;
    if (!must_be_lit(fan, x, y)) {
      say("FAIL: the watched box at (%d,%d) is not surely inside the fan", box.x, box.y);
      return EXIT_FAIL;
    }
  }
  double start = now_ms();
  HWND window = open_framed_window(rect, "light-first");
  Capture capture;
  double seen = -1;
  while (seen < 0 && now_ms() - start < 2000) {
    if (capture_screen(box, capture) && lit_pixels(capture) != 0) seen = now_ms() - start;
    pump_for(1);
  }
  bool ok = seen >= 0 && seen <= within_ms;
  if (seen < 0) {
    say("FAIL: no light within 2000 ms of activating the window");
  } else {
    say("light appeared %.1f ms after the activation (limit %d ms)", seen, within_ms);
    if (!ok) say("FAIL: light came later than %d ms", within_ms);
    ok = capture_screen(screen, capture) && ok;
    ok = light_scene_is_sound(capture, {{fan, "the activated window"}}, "light-first") && ok;
  }
  DestroyWindow(window);
  pump_for(20);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Activates two windows in turn, 200 ms apart, and checks that both fans show.
int command_light_two_fans() {
  if (!overlay_ready_and_dark()) return EXIT_FAIL;
  register_probe_classes();
  Region screen = virtual_screen();
  RECT first_rect = window_for_light(screen, 0.1);
  RECT second_rect = window_for_light(screen, 0.6);
  HWND first = open_framed_window(first_rect, "light-first-of-two");
  pump_for(200);
  HWND second = open_framed_window(second_rect, "light-second-of-two");
  pump_for(60);
  Capture capture;
  bool ok = capture_screen(screen, capture);
  ok = light_scene_is_sound(capture, {{fan_of(first_rect, screen), "the first window"},
                                      {fan_of(second_rect, screen), "the second window"}},
                            "light-two-fans") && ok;
  DestroyWindow(second);
  DestroyWindow(first);
  pump_for(20);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Activates a window and checks that the overlay, once lit, is wholly
// transparent again within within_ms of the activation, and still is 300 ms later.
int command_light_fades(int within_ms) {
  if (!overlay_ready_and_dark()) return EXIT_FAIL;
  register_probe_classes();
  double start = now_ms();
  HWND window = open_framed_window(window_for_light(virtual_screen(), 0.4), "light-fades");
  Capture capture;
  bool lit = false;
  while (!lit && now_ms() - start < 1000) {
    lit = capture_screen(virtual_screen(), capture) && lit_pixels(capture) != 0;
    pump_for(5);
  }
  double dark = lit ? wait_until_dark(within_ms + 1000) : -1;
  double total = now_ms() - start;
  bool ok = lit && dark >= 0 && total <= within_ms;
  if (!lit) say("FAIL: no light within 1000 ms of the activation");
  else if (dark < 0) say("FAIL: still lit %.0f ms after the activation", total);
  else say("transparent %.0f ms after the activation (limit %d ms)", total, within_ms);
  if (lit && dark >= 0 && !ok) say("FAIL: transparent later than %d ms", within_ms);
  pump_for(300);
  int64_t later = capture_screen(virtual_screen(), capture) ? lit_pixels(capture) : -1;
  if (later != 0) {
    say("FAIL: %lld pixels lit again 300 ms later", (long long)later);
    save_failure(capture, "light-fades");
  }
  ok = ok && later == 0;
  DestroyWindow(window);
  pump_for(20);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Makes the desktop or the overlay the foreground window and checks that the
// program is still running a second later with its one overlay.
int command_survive_foreground(const std::string &which) {
  HWND overlay = the_overlay(5000);
  if (!overlay) return EXIT_FAIL;
  WindowInfo before = describe(overlay);
  HWND target = which == "desktop" ? GetDesktopWindow() : overlay;
  BOOL set = SetForegroundWindow(target);
  say("SetForegroundWindow(%s %p) returned %d; the foreground window is now %p",
      which.c_str(), (void *)target, set, (void *)GetForegroundWindow());
  Sleep(1000);
  say("a second later the foreground window is %p (the overlay is %p)",
      (void *)GetForegroundWindow(), (void *)overlay);
  HWND after = the_overlay(0);
  bool ok = after == overlay && process_alive(before.process);
  if (!ok) say("FAIL: the program did not survive the %s as the foreground window",
               which.c_str());
  else say("PASS: process %lu and its overlay survived", before.process);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// ---------------------------------------------------------------------------
// Self-test of the readback: another process presents a known premultiplied
// image on a layered window exactly as the program presents its frame, half of
// it over a white window, and this process reads the screen back and compares
// every pixel. It passes when what is read is the layered window's own ARGB,
// alpha 0 included, whatever lies below.

constexpr int PATTERN_WIDTH = 256;
constexpr int PATTERN_HEIGHT = 24;
constexpr int PATTERN_MARGIN = 8;
constexpr uint32_t WHITE = 0x00FFFFFFu;  // a white 24-bit window as read back

// The known image, top-down: rows 0-7 every light-ramp entry; rows 8-15 other
// premultiplied colours of every alpha; rows 16-23 opaque colours. No two rows
// are alike, so a flipped or shifted image shows.
uint32_t pattern_pixel(int x, int y) {
  uint32_t a = uint32_t(x);
  if (y < 8) return ramp_entry((a + uint32_t(y) * 32) & 255);
  if (y < 16) return a << 24 | (a * uint32_t(y - 8) / 7) << 16 | (a / 3) << 8 | (a - a / 4);
  return 0xFF000000u | a << 16 | (255 - a) << 8 | uint32_t(y * 10);
}

// Presents the pattern on a new layered topmost popup at (x, y): a bottom-up
// buffer copied into a compatible bitmap with SetDIBitsToDevice, then
// UpdateLayeredWindow with per-pixel alpha, as the program presents its frame.
HWND present_pattern(int32_t x, int32_t y) {
  register_probe_classes();
  HWND window = CreateWindowExA(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                PATTERN_CLASS, "pattern", WS_POPUP, 0, 0, PATTERN_WIDTH,
                                PATTERN_HEIGHT, nullptr, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  static uint32_t buffer[PATTERN_WIDTH * PATTERN_HEIGHT];
  for (int row = 0; row < PATTERN_HEIGHT; row++)
    for (int column = 0; column < PATTERN_WIDTH; column++)
      buffer[(PATTERN_HEIGHT - 1 - row) * PATTERN_WIDTH + column] = pattern_pixel(column, row);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = PATTERN_WIDTH;
  info.bmiHeader.biHeight = PATTERN_HEIGHT;  // positive: bottom-up, as the frame buffer
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, PATTERN_WIDTH, PATTERN_HEIGHT);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  SetDIBitsToDevice(memory, 0, 0, PATTERN_WIDTH, PATTERN_HEIGHT, 0, 0, 0, PATTERN_HEIGHT,
                    buffer, &info, DIB_RGB_COLORS);
  POINT position{x, y}, source{0, 0};
  SIZE size{PATTERN_WIDTH, PATTERN_HEIGHT};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  if (!UpdateLayeredWindow(window, nullptr, &position, &size, memory, &source, 0, &blend,
                           ULW_ALPHA))
    say("UpdateLayeredWindow failed, error %lu", GetLastError());
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return window;
}

// The helper process of the self-test: presents the pattern, signals, and serves
// the window until told to stop.
int command_present_pattern(int32_t x, int32_t y, const char *ready_name, const char *done_name) {
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready_name);
  HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, done_name);
  if (!ready || !done) {
    say("FAIL: cannot open the self-test's events");
    return EXIT_FAIL;
  }
  HWND window = present_pattern(x, y);
  pump_for(50);
  SetEvent(ready);
  if (wait_serving(&done, 1, 60000) != 0) say("FAIL: the self-test never said it was done");
  DestroyWindow(window);
  return EXIT_PASS;
}

// Compares a capture of the pattern's surroundings with the pattern inside the
// window's rectangle and with the earlier capture around it.
bool compare_with_pattern(const char *how, const Capture &got, const Capture &before,
                          int32_t x, int32_t y) {
  int64_t exact = 0, colour_only = 0, wrong = 0, outside_changed = 0;
  int reported = 0;
  for (int32_t row = 0; row < got.region.height; row++) {
    for (int32_t column = 0; column < got.region.width; column++) {
      int32_t sx = got.region.x + column, sy = got.region.y + row;
      size_t i = size_t(row) * size_t(got.region.width) + size_t(column);
      bool in_window = sx >= x && sx < x + PATTERN_WIDTH && sy >= y && sy < y + PATTERN_HEIGHT;
      uint32_t want = in_window ? pattern_pixel(sx - x, sy - y) : before.pixels[i];
      uint32_t seen = got.pixels[i];
      if (!in_window) outside_changed += seen != want;
      else if (seen == want) exact++;
      else if ((seen & 0xFFFFFF) == (want & 0xFFFFFF)) colour_only++;
      else wrong++;
      if (seen != want && reported++ < 4)
        say("  %s: (%d,%d) read %08lx, expected %08lx (below: %08lx)", how, sx, sy,
            (unsigned long)seen, (unsigned long)want, (unsigned long)before.pixels[i]);
    }
  }
  bool ok = exact == PATTERN_WIDTH * PATTERN_HEIGHT && outside_changed == 0;
  say("%s %s: %lld of %d pixels exact, %lld right but for alpha, %lld wrong; %lld changed "
      "around the window", ok ? "PASS" : "FAIL", how, (long long)exact,
      PATTERN_WIDTH * PATTERN_HEIGHT, (long long)colour_only, (long long)wrong,
      (long long)outside_changed);
  return ok;
}

// Starts this program again as the presenting helper; returns its process handle
// once it has presented, or null.
HANDLE start_presenter(int32_t x, int32_t y, HANDLE ready, const char *ready_name,
                       const char *done_name) {
  char module[MAX_PATH], command[MAX_PATH + 160];
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::snprintf(command, sizeof command, "\"%s\" present-pattern %d %d %s %s", module, x, y,
                ready_name, done_name);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &child)) {
    say("FAIL: cannot start %s (error %lu)", command, GetLastError());
    return nullptr;
  }
  CloseHandle(child.hThread);
  HANDLE waits[2] = {ready, child.hProcess};
  if (wait_serving(waits, 2, 20000) != 0) {
    say("FAIL: the presenting process did not get ready");
    TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hProcess);
    return nullptr;
  }
  return child.hProcess;
}

int command_selftest(int32_t x, int32_t y) {
  register_probe_classes();
  Region around{x - PATTERN_MARGIN, y - PATTERN_MARGIN, PATTERN_WIDTH + 2 * PATTERN_MARGIN,
                PATTERN_HEIGHT + 2 * PATTERN_MARGIN};
  // White below the right half of the pattern and its margin.
  RECT backing_rect{x + PATTERN_WIDTH / 2, around.y, around.x + around.width,
                    around.y + around.height};
  HWND backing = open_backing_window(backing_rect);
  pump_for(200);
  Capture before, got;
  if (!capture_screen(around, before)) return EXIT_FAIL;
  int64_t white = 0;
  for (uint32_t p : before.pixels) white += p == WHITE;
  int64_t white_expected = int64_t(backing_rect.right - backing_rect.left) *
                           (backing_rect.bottom - backing_rect.top);
  say("%lld of %lld pixels of the white window read %08lx before the pattern",
      (long long)white, (long long)white_expected, (unsigned long)WHITE);
  bool ok = white == white_expected;
  if (!ok) say("FAIL: the white window below the pattern does not show");

  // In this process first: the simplest case.
  HWND own = present_pattern(x, y);
  pump_for(100);
  ok = capture_screen(around, got) && ok;
  ok = compare_with_pattern("same process, SRCCOPY|CAPTUREBLT", got, before, x, y) && ok;
  DestroyWindow(own);
  pump_for(100);

  // Then from another process, as the e2e tests read the program's overlay.
  char ready_name[64], done_name[64];
  std::snprintf(ready_name, sizeof ready_name, "light-probe-ready-%lu", GetCurrentProcessId());
  std::snprintf(done_name, sizeof done_name, "light-probe-done-%lu", GetCurrentProcessId());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, ready_name);
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, done_name);
  HANDLE child = start_presenter(x, y, ready, ready_name, done_name);
  if (!child) return EXIT_FAIL;
  pump_for(50);
  ok = capture_screen(around, got) && ok;
  ok = compare_with_pattern("other process, SRCCOPY|CAPTUREBLT", got, before, x, y) && ok;
  ok = capture_screen(around, got, SRCCOPY) && ok;
  ok = compare_with_pattern("other process, SRCCOPY", got, before, x, y) && ok;
  SetEvent(done);
  DWORD code = 1;
  if (wait_serving(&child, 1, 10000) != 0) {
    say("FAIL: the presenting process did not end");
    TerminateProcess(child, 1);
  }
  GetExitCodeProcess(child, &code);
  if (code != 0) say("FAIL: the presenting process ended with %lu", code);
  ok = ok && code == 0;

  // Gone again: the screen shows what it showed before.
  double start = now_ms();
  int64_t changed;
  do {
    pump_for(20);
    changed = -1;
    if (capture_screen(around, got)) {
      changed = 0;
      for (size_t i = 0; i < got.pixels.size(); i++) changed += got.pixels[i] != before.pixels[i];
    }
  } while (changed != 0 && now_ms() - start < 2000);
  say("%s after the layered window closed: %lld pixels differ from before",
      changed ? "FAIL" : "PASS", (long long)changed);
  ok = ok && changed == 0;
  DestroyWindow(backing);
  say("%s: readback of a layered window's own premultiplied ARGB", ok ? "PASS" : "FAIL");
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// ---------------------------------------------------------------------------
// Recording the light for pictures: sample windows are opened and activated in
// turn while the overlay's pixels are read back every few milliseconds.
//
// While the program runs, its overlay covers the whole screen, and the session's
// readback returns the overlay's own pixels everywhere: the windows below do not
// show in it. So the desktop is captured before the program starts, once with
// each sample window active, and every frame is also composed over the capture
// in which the same window is active, the way a layered window with per-pixel
// alpha is shown: overlay + (255 - alpha) / 255 * below.

constexpr char SAMPLE_CLASS[] = "LightProbeSample";  // the record command's white windows
// Framed and sizable, with a title bar but no system menu: the caption buttons'
// glyphs come from a symbol font that a bare Wine prefix may lack.
constexpr DWORD SAMPLE_STYLE = WS_CAPTION | WS_THICKFRAME;
constexpr int SAMPLE_SETTLE_MS = 300;   // for a window to be drawn and activated
constexpr int OVERLAY_WAIT_MS = 30000;  // for the program to start once told to
constexpr int DARK_WAIT_MS = 5000;      // for its start-up light to fade

struct SampleWindow {
  RECT rect;      // screen coordinates
  int32_t at_ms;  // when the recording activates it, from its start
  HWND handle;
};

struct Recording {
  std::vector<Capture> desktops;  // one per sample window, with that one active
  std::vector<Capture> frames;    // the overlay's premultiplied pixels
  std::vector<double> times;      // ms from the start of the recording
  std::vector<int> active;        // the sample window last activated, -1 before any
};

// A white framed window that shows its title in the middle.
LRESULT CALLBACK sample_window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
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
bool open_sample_windows(std::vector<SampleWindow> &windows) {
  register_class(SAMPLE_CLASS, sample_window_proc, WHITE_BRUSH);
  for (size_t i = 0; i < windows.size(); i++) {
    RECT r = windows[i].rect;
    char title[64];
    std::snprintf(title, sizeof title, "Window %zu  (%ld x %ld)", i + 1, r.right - r.left,
                  r.bottom - r.top);
    windows[i].handle = CreateWindowExA(0, SAMPLE_CLASS, title, SAMPLE_STYLE, r.left,
                                        r.top, r.right - r.left, r.bottom - r.top, nullptr,
                                        nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!windows[i].handle) {
      say("FAIL: could not create sample window %zu", i + 1);
      return false;
    }
    ShowWindow(windows[i].handle, SW_SHOWNORMAL);
    UpdateWindow(windows[i].handle);
    SetForegroundWindow(windows[i].handle);
    pump_for(50);
  }
  pump_for(SAMPLE_SETTLE_MS);
  return true;
}

// Captures the desktop with each sample window active in turn, before the
// program runs; the last window is left active.
bool capture_desktops(const std::vector<SampleWindow> &windows, Recording &out) {
  for (const SampleWindow &w : windows) {
    SetForegroundWindow(w.handle);
    pump_for(SAMPLE_SETTLE_MS);
    if (GetForegroundWindow() != w.handle)
      say("note: window %p did not become the foreground window", (void *)w.handle);
    out.desktops.emplace_back();
    if (!capture_screen(virtual_screen(), out.desktops.back())) return false;
  }
  return true;
}

// Captures frame_count frames of the virtual screen, one every interval_ms on a
// fixed schedule (a late capture is followed at once by the next one), and
// activates each sample window when its time has come, just before a capture.
void record_frames(const std::vector<SampleWindow> &windows, int frame_count, int interval_ms,
                   Recording &out) {
  Region screen = virtual_screen();
  size_t next = 0;
  int active = -1;
  double start = now_ms();
  for (int k = 0; k < frame_count; k++) {
    double due = start + double(k) * interval_ms;
    while (now_ms() < due) pump_for(0);
    double at = now_ms() - start;
    for (; next < windows.size() && windows[next].at_ms <= at; next++) {
      SetForegroundWindow(windows[next].handle);
      active = int(next);
    }
    out.frames.emplace_back();
    capture_screen(screen, out.frames.back());
    out.times.push_back(at);
    out.active.push_back(active);
  }
}

// A premultiplied pixel as PNG and PAM store colour: straight, with its alpha.
uint32_t straight_alpha(uint32_t p) {
  uint32_t a = p >> 24;
  if (a == 0) return 0;
  uint32_t c[3] = {p >> 16 & 255, p >> 8 & 255, p & 255};
  for (uint32_t &v : c) v = v >= a ? 255 : (v * 255 + a / 2) / a;
  return a << 24 | c[0] << 16 | c[1] << 8 | c[2];
}

// A premultiplied overlay pixel over an opaque one below, rounded to nearest.
uint32_t over(uint32_t overlay, uint32_t below) {
  uint32_t a = overlay >> 24, out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t v = (overlay >> shift & 255) + ((255 - a) * (below >> shift & 255) + 127) / 255;
    out |= (v > 255 ? 255 : v) << shift;
  }
  return out;
}

// Writes 0xAARRGGBB pixels, rows top-down, as a PAM image: RGB_ALPHA with the
// alpha byte, or RGB without it.
bool write_picture(const char *path, Region region, const std::vector<uint32_t> &pixels,
                   bool with_alpha) {
  FILE *file = std::fopen(path, "wb");
  if (!file) {
    say("cannot write %s", path);
    return false;
  }
  int depth = with_alpha ? 4 : 3;
  std::fprintf(file, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n",
               region.width, region.height, depth, with_alpha ? "RGB_ALPHA" : "RGB");
  std::vector<unsigned char> bytes(pixels.size() * size_t(depth));
  unsigned char *b = bytes.data();
  for (uint32_t p : pixels) {
    *b++ = (unsigned char)(p >> 16);
    *b++ = (unsigned char)(p >> 8);
    *b++ = (unsigned char)p;
    if (with_alpha) *b++ = (unsigned char)(p >> 24);
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) say("cannot finish %s", path);
  return ok;
}

// Writes each frame twice, as the overlay's own pixels (overlay-NNN.pam) and
// composed over the desktop (screen-NNN.pam), and a line per frame in frames.txt.
bool write_recording(const std::string &folder, const Recording &r) {
  std::string list_path = folder + "\\frames.txt";
  FILE *list = std::fopen(list_path.c_str(), "wb");  // Unix lines, for the scripts
  if (!list) {
    say("cannot write %s", list_path.c_str());
    return false;
  }
  std::fprintf(list, "# frame, ms from the start, lit pixels, largest alpha, active "
                     "sample window (0: as before the first activation)\n");
  bool ok = true;
  std::vector<uint32_t> overlay, screen;
  for (size_t k = 0; k < r.frames.size() && ok; k++) {
    const Capture &frame = r.frames[k];
    const Capture &below = r.desktops[r.active[k] < 0 ? r.desktops.size() - 1 : size_t(r.active[k])];
    overlay.resize(frame.pixels.size());
    screen.resize(frame.pixels.size());
    int64_t lit = 0;
    uint32_t max_alpha = 0;
    for (size_t i = 0; i < frame.pixels.size(); i++) {
      uint32_t p = frame.pixels[i];
      lit += p != 0;
      if (p >> 24 > max_alpha) max_alpha = p >> 24;
      overlay[i] = straight_alpha(p);
      screen[i] = over(p, below.pixels[i]);
    }
    char name[64];
    std::snprintf(name, sizeof name, "\\overlay-%03zu.pam", k);
    ok = write_picture((folder + name).c_str(), frame.region, overlay, true);
    std::snprintf(name, sizeof name, "\\screen-%03zu.pam", k);
    ok = ok && write_picture((folder + name).c_str(), frame.region, screen, false);
    std::fprintf(list, "%zu %.1f %lld %lu %d\n", k, r.times[k], (long long)lit,
                 (unsigned long)max_alpha, r.active[k] + 1);
  }
  ok = std::fclose(list) == 0 && ok;
  return ok;
}

// Prints how closely the captures kept to their schedule.
void report_timing(const Recording &r, int interval_ms) {
  double longest = 0;
  for (size_t k = 1; k < r.times.size(); k++)
    if (r.times[k] - r.times[k - 1] > longest) longest = r.times[k] - r.times[k - 1];
  say("recorded %zu frames over %.0f ms, planned every %d ms; longest gap %.0f ms",
      r.frames.size(), r.times.empty() ? 0.0 : r.times.back(), interval_ms, longest);
}

// record FOLDER FRAMES INTERVAL_MS (X Y W H AT_MS)...: opens the sample windows,
// captures the desktop, says it is ready, waits for the program's overlay to show
// and go dark, records, and writes the frames into FOLDER. It takes two windows or
// more: the last one opened is the foreground window when the recording starts,
// so activating the first one is a change the program lights.
int command_record(int argc, char **argv) {
  int32_t frame_count = 0, interval_ms = 0;
  if (argc < 13 || (argc - 3) % 5 != 0 || !parse_int(argv[1], frame_count) ||
      !parse_int(argv[2], interval_ms) || frame_count < 1 || interval_ms < 1)
    return usage();
  std::vector<SampleWindow> windows;
  for (int i = 3; i < argc; i += 5) {
    int32_t v[5];
    for (int j = 0; j < 5; j++)
      if (!parse_int(argv[i + j], v[j])) return usage();
    if (v[2] <= 0 || v[3] <= 0) return usage();
    windows.push_back({{v[0], v[1], v[0] + v[2], v[1] + v[3]}, v[4], nullptr});
  }
  for (size_t i = 1; i < windows.size(); i++)
    if (windows[i].at_ms < windows[i - 1].at_ms) return usage();

  Recording recording;
  if (!open_sample_windows(windows) || !capture_desktops(windows, recording)) return EXIT_FAIL;
  say("ready; %zu sample windows open and the desktop captured", windows.size());
  // Serve the windows while the program starts, as a desktop's programs do.
  for (double until = now_ms() + OVERLAY_WAIT_MS; overlays().empty() && now_ms() < until;)
    pump_for(50);
  if (!the_overlay(0)) return EXIT_FAIL;
  if (wait_until_dark(DARK_WAIT_MS) < 0) {
    say("FAIL: the overlay still shows light %d ms after it appeared", DARK_WAIT_MS);
    return EXIT_FAIL;
  }
  record_frames(windows, frame_count, interval_ms, recording);
  report_timing(recording, interval_ms);
  bool ok = write_recording(argv[0], recording);
  for (const SampleWindow &w : windows) DestroyWindow(w.handle);
  pump_for(20);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// ---------------------------------------------------------------------------
// The version resource as a file's properties show it: the fixed file and
// product versions, and the strings of the first language the file lists.

const char *const VERSION_STRINGS[] = {"CompanyName",    "FileDescription", "FileVersion",
                                       "InternalName",   "LegalCopyright",  "OriginalFilename",
                                       "ProductName",    "ProductVersion"};

// The file's version resource, or an empty buffer when it has none.
std::vector<char> read_version_resource(const char *path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  std::vector<char> data(size);
  if (size == 0 || !GetFileVersionInfoA(path, 0, size, data.data())) data.clear();
  return data;
}

// A string of the resource's first listed language, or null.
const char *version_string(std::vector<char> &data, const char *name) {
  struct LanguageCodePage {
    WORD language, code_page;
  } *translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void **>(&translation), &length) ||
      length < sizeof *translation)
    return nullptr;
  char key[96];
  std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
                translation->code_page, name);
  char *value = nullptr;
  if (!VerQueryValueA(data.data(), key, reinterpret_cast<void **>(&value), &length)) return nullptr;
  return value;
}

// The fixed file ("FILEVERSION") or product ("PRODUCTVERSION") version as
// a.b.c.d, or an empty string.
std::string fixed_version(std::vector<char> &data, bool product) {
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length) ||
      length < sizeof *fixed || fixed->dwSignature != 0xFEEF04BDu)
    return "";
  DWORD ms = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
  DWORD ls = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
  char text[48];
  std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
  return text;
}

// version-info EXE [NAME=VALUE]...: prints the version resource and checks that
// each NAME reads VALUE; NAME is a string's name, FILEVERSION or PRODUCTVERSION.
int command_version_info(int argc, char **argv) {
  std::vector<char> data = read_version_resource(argv[0]);
  if (data.empty()) {
    say("FAIL: %s has no version resource (error %lu)", argv[0], GetLastError());
    return EXIT_FAIL;
  }
  std::string file_version = fixed_version(data, false);
  std::string product_version = fixed_version(data, true);
  say("%s: FILEVERSION %s, PRODUCTVERSION %s", argv[0], file_version.c_str(),
      product_version.c_str());
  for (const char *name : VERSION_STRINGS) {
    const char *value = version_string(data, name);
    say("  %-16s %s%s%s", name, value ? "\"" : "", value ? value : "(none)", value ? "\"" : "");
  }
  bool ok = true;
  for (int i = 1; i < argc; i++) {
    const char *equals = std::strchr(argv[i], '=');
    if (!equals) return usage();
    std::string name(argv[i], size_t(equals - argv[i])), want(equals + 1);
    const char *seen = name == "FILEVERSION"      ? file_version.c_str()
                       : name == "PRODUCTVERSION" ? product_version.c_str()
                                                  : version_string(data, name.c_str());
    if (!seen || want != seen) {
      say("FAIL: %s is %s%s%s, expected \"%s\"", name.c_str(), seen ? "\"" : "",
          seen ? seen : "missing", seen ? "\"" : "", want.c_str());
      ok = false;
    }
  }
  if (ok) say("PASS: %d values as expected", argc - 1);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// ---------------------------------------------------------------------------
// Long runs: many activations across windows that close and reopen, and the
// overlay process's memory as the system reports it to another process.

constexpr int SOAK_MARGIN = 24;  // pixels between the soak's windows and around them

// The process of the one overlay, opened with the given access, or null after
// saying why.
HANDLE open_overlay_process(DWORD access, DWORD &process_id) {
  HWND overlay = the_overlay(5000);
  if (!overlay) return nullptr;
  process_id = 0;
  GetWindowThreadProcessId(overlay, &process_id);
  HANDLE process = OpenProcess(access, FALSE, process_id);
  if (!process) say("FAIL: cannot open process %lu of the overlay (error %lu)", process_id,
                    GetLastError());
  return process;
}

struct MemorySample {
  uint64_t working_set;        // bytes, GetProcessMemoryInfo
  uint64_t pagefile;           // bytes, GetProcessMemoryInfo
  uint64_t private_usage;      // bytes, GetProcessMemoryInfo
  uint64_t committed_private;  // bytes of committed private pages, VirtualQueryEx
  uint64_t committed_regions;  // how many regions those pages lie in
};

// Walks the other process's address space: committed private pages are what its
// heaps and stacks hold, the memory a leak would grow.
void add_committed_private(HANDLE process, MemorySample &sample) {
  MEMORY_BASIC_INFORMATION region;
  uintptr_t address = 0;
  while (VirtualQueryEx(process, reinterpret_cast<void *>(address), &region, sizeof region) ==
         sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      sample.committed_private += region.RegionSize;
      sample.committed_regions++;
    }
    uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;  // the top of the address space wrapped around
    address = next;
  }
}

// memory: one line of the overlay process's memory counters, in bytes.
int command_memory() {
  DWORD id;
  HANDLE process = open_overlay_process(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, id);
  if (!process) return EXIT_FAIL;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  bool ok = GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                                 sizeof counters);
  if (!ok) say("FAIL: GetProcessMemoryInfo of process %lu failed (error %lu)", id, GetLastError());
  MemorySample sample{counters.WorkingSetSize, counters.PagefileUsage, counters.PrivateUsage, 0, 0};
  add_committed_private(process, sample);
  CloseHandle(process);
  say("memory of process %lu: working-set %llu pagefile %llu private-usage %llu "
      "committed-private %llu in %llu regions", id, (unsigned long long)sample.working_set,
      (unsigned long long)sample.pagefile, (unsigned long long)sample.private_usage,
      (unsigned long long)sample.committed_private, (unsigned long long)sample.committed_regions);
  return ok && sample.committed_private ? EXIT_PASS : EXIT_FAIL;
}

// The soak's windows: a grid over the screen, cells of different sizes so that
// the fans differ, every window framed and well inside the screen.
std::vector<RECT> soak_layout(Region screen, int count) {
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
  int64_t activations = 0, missed = 0;   // activations, and those not in the foreground after
  int64_t opened = 0, reopened = 0;      // windows created, and of them replacements
  int64_t checks = 0, lit_checks = 0;    // screen checks, and those that saw light
  int64_t unsound = 0;                   // checks with a pixel no fan can have
};

// One soak window and the thread that owns it. Each window has a thread of its
// own because closing a framed window takes Wine 2 s when no window manager
// runs (it waits that long for one to confirm the window withdrawn); on its own
// thread that wait does not hold up the activations.
struct SoakWindow {
  RECT rect;      // screen coordinates
  HWND window;    // written by the thread before it sets `ready`
  HANDLE ready;   // event
  HANDLE thread;
};

constexpr char SOAK_CLASS[] = "LightProbeSoak";
constexpr UINT SOAK_ACTIVATE = WM_APP + 1;  // asks a soak window's thread to activate it
constexpr int SOAK_ACTIVATION_MS = 200;     // for an activation to show in the foreground

LRESULT CALLBACK soak_window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == SOAK_ACTIVATE) {
    SetForegroundWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, w, l);
}

DWORD WINAPI soak_window_thread(LPVOID parameter) {
  SoakWindow *s = static_cast<SoakWindow *>(parameter);
  RECT r = s->rect;
  s->window = CreateWindowExA(0, SOAK_CLASS, "soak", WS_OVERLAPPEDWINDOW, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ShowWindow(s->window, SW_SHOWNORMAL);
  UpdateWindow(s->window);
  SetForegroundWindow(s->window);
  SetEvent(s->ready);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

// Waits up to SOAK_ACTIVATION_MS for a window to be the foreground window.
bool soak_became_foreground(HWND window) {
  double until = now_ms() + SOAK_ACTIVATION_MS;
  while (GetForegroundWindow() != window && now_ms() < until) Sleep(1);
  return GetForegroundWindow() == window;
}

// Opens a window on a thread of its own and waits until it is shown and active.
SoakWindow *soak_open(std::vector<std::unique_ptr<SoakWindow>> &all, RECT rect) {
  all.push_back(std::make_unique<SoakWindow>());
  SoakWindow *s = all.back().get();
  s->rect = rect;
  s->window = nullptr;
  s->ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  s->thread = CreateThread(nullptr, 0, soak_window_thread, s, 0, nullptr);
  HANDLE waits[2] = {s->ready, s->thread};
  WaitForMultipleObjects(2, waits, FALSE, 5000);
  return s;
}

// Looks at the whole screen during light: every lit pixel must be a ramp entry
// no brighter than a fan can be. Where the pixels lie is not checked: a window
// closed a moment ago may still show its last fan.
void soak_check_light(SoakTally &tally) {
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
    say("FAIL: %lld of %lld lit pixels are not ramp entries of alpha %d or less; first %08lx "
        "at (%d,%d)", (long long)wrong, (long long)lit, MAX_LIGHT_ALPHA,
        (unsigned long)capture.pixels[first],
        capture.region.x + int(first % size_t(capture.region.width)),
        capture.region.y + int(first / size_t(capture.region.width)));
    save_failure(capture, "soak");
  }
}

// Activates one soak window: when reopening, the window is first closed and a
// new one opened in its place, a handle the program has never seen.
void soak_activate(std::vector<std::unique_ptr<SoakWindow>> &all,
                   std::vector<SoakWindow *> &current, size_t i, bool reopen,
                   SoakTally &tally) {
  if (reopen) {
    PostMessageA(current[i]->window, WM_CLOSE, 0, 0);
    current[i] = soak_open(all, current[i]->rect);
    tally.opened++;
    tally.reopened++;
  } else {
    PostMessageA(current[i]->window, SOAK_ACTIVATE, 0, 0);
  }
  tally.activations++;
  if (!soak_became_foreground(current[i]->window) && tally.missed++ < 3)
    say("activation %lld: window %p is not the foreground window, %p is",
        (long long)tally.activations, (void *)current[i]->window, (void *)GetForegroundWindow());
}

// Closes every window still open and waits for their threads to end.
void soak_close_all(std::vector<std::unique_ptr<SoakWindow>> &all,
                    const std::vector<SoakWindow *> &current) {
  for (SoakWindow *s : current) PostMessageA(s->window, WM_CLOSE, 0, 0);
  for (auto &s : all) {
    if (WaitForSingleObject(s->thread, 10000) != WAIT_OBJECT_0)
      say("note: the thread of window %p did not end", (void *)s->window);
    CloseHandle(s->thread);
    CloseHandle(s->ready);
  }
}

// soak SECONDS WINDOWS PERIOD_MS REOPEN_EVERY CHECK_MS: opens the windows and
// activates them in turn, one every PERIOD_MS, reopening every REOPEN_EVERY-th
// (0: never) and checking the light every CHECK_MS (0: never), just before an
// activation, when the last one has had time to light up; then closes them.
int command_soak(int seconds, int count, int period_ms, int reopen_every, int check_ms) {
  if (seconds <= 0 || count <= 0 || period_ms <= 0 || reopen_every < 0 || check_ms < 0)
    return usage();
  HWND overlay = the_overlay(5000);
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
    while (now_ms() < due) Sleep(1);
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
  say("soak: %.1f s, %lld activations (%lld not in the foreground within %d ms), %lld windows "
      "opened (%lld reopened), %lld light checks (%lld lit, %lld unsound)", took / 1000,
      (long long)tally.activations, (long long)tally.missed, SOAK_ACTIVATION_MS,
      (long long)tally.opened, (long long)tally.reopened, (long long)tally.checks,
      (long long)tally.lit_checks, (long long)tally.unsound);
  say("soak: new window handles %lld", (long long)tally.opened);
  bool ok = alive && tally.missed == 0 && tally.unsound == 0 &&
            (check_ms == 0 || tally.lit_checks * 2 >= tally.checks);
  if (!alive) say("FAIL: the overlay or its process %lu is gone", overlay_process);
  if (tally.missed) say("FAIL: %lld activations did not take", (long long)tally.missed);
  if (check_ms && tally.lit_checks * 2 < tally.checks)
    say("FAIL: light in only %lld of %lld checks", (long long)tally.lit_checks,
        (long long)tally.checks);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// open-dialog X Y W H [TITLE [MS]]: like open-window, but with a fixed dialog
// frame and no maximize box, the frame the program widens by 5 pixels.
int command_open_dialog(RECT rect, const char *title, int lifetime_ms) {
  register_probe_classes();
  HWND window = CreateWindowExA(0, PROBE_CLASS, title, WS_CAPTION | WS_SYSMENU, rect.left,
                                rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!window) {
    say("FAIL: could not create the window");
    return EXIT_FAIL;
  }
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetForegroundWindow(window);
  pump_for(50);
  RECT client{};
  GetClientRect(window, &client);
  WindowInfo info = describe(window);
  print_window("opened ", info);
  say("client width %ld, frame excess %ld", client.right,
      info.rect.right - info.rect.left - client.right);
  say("ready; the foreground window %s", GetForegroundWindow() == window ? "is this one"
                                                                          : "is another");
  return serve_window(window, lifetime_ms);
}

int main(int argc, char **argv) {
  if (argc < 2) return usage();
  std::string command = argv[1];
  int32_t n[5] = {0, 0, 0, 0, 0};
  int given = 0;
  for (int i = 2; i < argc && given < 5 && parse_int(argv[i], n[given]); i++) given++;
  RECT rect{n[0], n[1], n[0] + n[2], n[1] + n[3]};

  if (command == "selftest" && (argc == 2 || (argc == 4 && given == 2)))
    return command_selftest(given ? n[0] : 37, given ? n[1] : 23);
  if (command == "present-pattern" && argc == 6 && given == 2)
    return command_present_pattern(n[0], n[1], argv[4], argv[5]);
  if (command == "list-windows" && argc == 2) return command_list_windows();
  if (command == "find-overlay" && argc <= 3 && given == argc - 2)
    return command_find_overlay(given ? n[0] : 10000);
  if (command == "capture") return command_capture(argc - 2, argv + 2);
  if (command == "expect-transparent" && argc == 4 && given == 2)
    return command_expect_transparent(n[0], n[1]);
  if (command == "open-window" && argc >= 6 && argc <= 8 && given >= 4) {
    int32_t lifetime = -1;
    if (argc == 8 && !parse_int(argv[7], lifetime)) return usage();
    return command_open_window(rect, argc >= 7 ? argv[6] : "probe window", lifetime);
  }
  if (command == "backing" && (argc == 6 || argc == 7) && given == argc - 2)
    return command_backing(rect, argc == 7 ? n[4] : -1);
  if (command == "terminate-overlay" && argc == 2) return command_terminate_overlay();
  if (command == "light-first" && argc <= 3 && given == argc - 2)
    return command_light_first(given ? n[0] : 100);
  if (command == "light-two-fans" && argc == 2) return command_light_two_fans();
  if (command == "light-fades" && argc <= 3 && given == argc - 2)
    return command_light_fades(given ? n[0] : 1500);
  if (command == "survive-foreground" && argc == 3 &&
      (std::string(argv[2]) == "desktop" || std::string(argv[2]) == "overlay"))
    return command_survive_foreground(argv[2]);
  if (command == "record") return command_record(argc - 2, argv + 2);
  if (command == "version-info" && argc >= 3) return command_version_info(argc - 2, argv + 2);
  if (command == "open-dialog" && argc >= 6 && argc <= 8 && given >= 4) {
    int32_t lifetime = -1;
    if (argc == 8 && !parse_int(argv[7], lifetime)) return usage();
    return command_open_dialog(rect, argc >= 7 ? argv[6] : "probe dialog", lifetime);
  }
  if (command == "memory" && argc == 2) return command_memory();
  if (command == "soak" && argc == 7 && given == 5)
    return command_soak(n[0], n[1], n[2], n[3], n[4]);
  if (is_monitor_command(command)) return run_monitor_command(command, argc - 2, argv + 2);
  return usage();
}
