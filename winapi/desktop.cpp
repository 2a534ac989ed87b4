// The simulated desktop behind the Win32 stand-in: top-level windows in Z order,
// the foreground window, a virtual performance counter, the GDI surface and the
// layered-window presentation, each behaving like the platform where light relies
// on it (queries on a destroyed window fail and leave their outputs untouched).
#include "desktop.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

namespace {

const uintptr_t DESKTOP_HANDLE = 0x10010;
const uintptr_t FIRST_WINDOW_HANDLE = 0x20000;
const uintptr_t HANDLE_STRIDE = 4;
const uintptr_t SCREEN_DC = 0x5000;
const uintptr_t FIRST_MEMORY_DC = 0x5100;
const uintptr_t STOCK_BITMAP = 0x6000;
const uintptr_t FIRST_BITMAP = 0x6100;
const uintptr_t ARROW_CURSOR = 0x7F00;
const uintptr_t THREAD_HANDLE = 0x8000;
const uintptr_t MODULE_HANDLE = 0x400000;
const DWORD PROCESS_ID = 4242;
const LONG FRAME = 3;    // simulated frame on each side of a framed window
const LONG CAPTION = 22; // simulated caption height

struct Window {
    bool alive = false;
    bool topmost = false;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect = {};
    LONG client_width = 0;
    LONG client_height = 0;
    std::string class_name;
    std::string title;
    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
    int show_calls = 0;
    int last_show = -1;
    int update_calls = 0;
};

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // top row first
};

struct Message {
    HWND window;
    UINT message;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};

struct Desktop {
    int screen_x = 0, screen_y = 0, screen_width = 1024, screen_height = 768;
    int desktop_width = 1024, desktop_height = 768;
    std::map<uintptr_t, Window> windows;
    std::vector<HWND> z; // highest first
    uintptr_t next_handle = FIRST_WINDOW_HANDLE;
    HWND foreground = nullptr;
    int set_foreground_calls = 0;
    int64_t frequency = 10000000;
    int64_t counter = 0;
    int64_t sleep_overhead = 0;
    int failing_allocations = 0;
    int allocation_count = 0;
    int64_t allocated_bytes = 0;
    std::vector<void *> blocks;
    std::deque<Message> queue;
    bool logging = true;
    std::vector<std::string> calls;
    int presentation_count = 0;
    sim::Presentation last_presentation;
    std::vector<sim::SoundCall> sounds;
    int sleep_count = 0;
    int64_t slept = 0;
    DWORD last_sleep = 0;
    LPTHREAD_START_ROUTINE thread_start = nullptr;
    LPVOID thread_parameter = nullptr;
    int thread_count = 0;
    std::map<std::string, WNDCLASSEXA> classes;
    std::map<std::string, std::string> class_names; // class names outlive the caller's strings
    HCURSOR cursor = nullptr;
    DWORD allowed_process = 0;
    std::map<uintptr_t, Bitmap> bitmaps;
    std::map<uintptr_t, uintptr_t> selected; // memory DC -> bitmap
    uintptr_t next_dc = FIRST_MEMORY_DC;
    uintptr_t next_bitmap = FIRST_BITMAP;
};

Desktop *&current_desktop()
{
    static Desktop *desktop = new Desktop();
    return desktop;
}

Desktop &desk()
{
    return *current_desktop();
}

// Builds the log line only while logging, so long runs pay nothing for it.
#define LOG(line)                              \
    do {                                       \
        if (desk().logging)                    \
            desk().calls.push_back(line);      \
    } while (0)

std::string hex(const void *value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%#lx", (unsigned long)(uintptr_t)value);
    return text;
}

Window *live(HWND window)
{
    auto found = desk().windows.find((uintptr_t)window);
    if (found == desk().windows.end() || !found->second.alive)
        return nullptr;
    return &found->second;
}

bool is_desktop(HWND window)
{
    return (uintptr_t)window == DESKTOP_HANDLE;
}

void unlink(HWND window)
{
    auto &z = desk().z;
    z.erase(std::remove(z.begin(), z.end(), window), z.end());
}

// Topmost windows stay above all others: a window goes to the top of its band.
void place_on_top(HWND window)
{
    unlink(window);
    auto &z = desk().z;
    auto position = z.begin();
    if (!live(window)->topmost)
        while (position != z.end() && live(*position)->topmost)
            ++position;
    z.insert(position, window);
}

HWND make_window(uintptr_t handle, const sim::WindowSpec &spec)
{
    Window w;
    w.alive = true;
    w.topmost = spec.topmost_band || (spec.ex_style & WS_EX_TOPMOST);
    w.style = spec.style;
    w.ex_style = spec.ex_style | (w.topmost ? WS_EX_TOPMOST : 0);
    w.rect = spec.rect;
    LONG width = spec.rect.right - spec.rect.left;
    LONG height = spec.rect.bottom - spec.rect.top;
    bool framed = spec.style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME);
    bool captioned = (spec.style & WS_CAPTION) == WS_CAPTION;
    w.client_width = spec.client_width >= 0 ? spec.client_width
                                            : std::max<LONG>(0, width - (framed ? 2 * FRAME : 0));
    w.client_height = spec.client_height >= 0
                          ? spec.client_height
                          : std::max<LONG>(0, height - (framed ? 2 * FRAME : 0) - (captioned ? CAPTION : 0));
    w.class_name = spec.class_name;
    w.title = spec.title;
    desk().windows[handle] = w;
    HWND hwnd = (HWND)handle;
    place_on_top(hwnd);
    return hwnd;
}

void copy_rect(RECT *out, const RECT &in)
{
    if (out)
        *out = in;
}

} // namespace

namespace sim {

void reset()
{
    for (void *block : desk().blocks)
        std::free(block);
    delete current_desktop();
    current_desktop() = new Desktop();
}

void set_virtual_screen(int x, int y, int width, int height)
{
    desk().screen_x = x;
    desk().screen_y = y;
    desk().screen_width = width;
    desk().screen_height = height;
}

void set_desktop_client(int width, int height)
{
    desk().desktop_width = width;
    desk().desktop_height = height;
}

void change_display_layout(int x, int y, int width, int height)
{
    set_virtual_screen(x, y, width, height);
    set_desktop_client(width, height);
}

HWND add_window(const WindowSpec &spec)
{
    uintptr_t handle = desk().next_handle;
    desk().next_handle += HANDLE_STRIDE;
    return make_window(handle, spec);
}

HWND add_window_reusing(HWND handle, const WindowSpec &spec)
{
    if (live(handle) || is_desktop(handle) || !handle)
        std::abort(); // a test asked for a handle that is still in use
    return make_window((uintptr_t)handle, spec);
}

void destroy_window(HWND window)
{
    Window *w = live(window);
    if (!w)
        return;
    w->alive = false;
    unlink(window);
    if (desk().foreground == window)
        desk().foreground = nullptr;
}

void move_window(HWND window, RECT rect)
{
    if (Window *w = live(window)) {
        LONG dw = (rect.right - rect.left) - (w->rect.right - w->rect.left);
        LONG dh = (rect.bottom - rect.top) - (w->rect.bottom - w->rect.top);
        w->rect = rect;
        w->client_width = std::max<LONG>(0, w->client_width + dw);
        w->client_height = std::max<LONG>(0, w->client_height + dh);
    }
}

void set_client_size(HWND window, LONG width, LONG height)
{
    if (Window *w = live(window)) {
        w->client_width = width;
        w->client_height = height;
    }
}

void set_styles(HWND window, DWORD style, DWORD ex_style)
{
    if (Window *w = live(window)) {
        w->style = style;
        w->ex_style = ex_style;
    }
}

void set_visible(HWND window, bool visible)
{
    if (Window *w = live(window))
        w->style = visible ? (w->style | WS_VISIBLE) : (w->style & ~(DWORD)WS_VISIBLE);
}

void minimize(HWND window)
{
    if (Window *w = live(window)) {
        w->style |= WS_MINIMIZE;
        w->rect = {-32000, -32000, -31840, -31972};
        w->client_width = 0;
        w->client_height = 0;
    }
}

void raise_window(HWND window)
{
    if (live(window))
        place_on_top(window);
}

std::vector<HWND> z_order()
{
    return desk().z;
}

WindowInfo window_info(HWND window)
{
    WindowInfo info{};
    auto found = desk().windows.find((uintptr_t)window);
    if (found == desk().windows.end())
        return info;
    const Window &w = found->second;
    info = {w.alive,        w.style,        w.ex_style,   w.rect,        w.client_width,
            w.client_height, w.class_name,  w.title,      w.procedure,   w.instance,
            w.show_calls,    w.last_show,   w.update_calls};
    return info;
}

int live_window_count()
{
    return (int)desk().z.size();
}

void set_foreground(HWND window)
{
    desk().foreground = window;
    if (live(window))
        place_on_top(window);
}

HWND foreground()
{
    return desk().foreground;
}

int set_foreground_calls()
{
    return desk().set_foreground_calls;
}

void set_frequency(int64_t ticks_per_second)
{
    desk().frequency = ticks_per_second;
}

void advance_counter(int64_t ticks)
{
    desk().counter += ticks;
}

int64_t counter()
{
    return desk().counter;
}

void set_sleep_overhead(int64_t ticks)
{
    desk().sleep_overhead = ticks;
}

void fail_next_allocations(int n)
{
    desk().failing_allocations = n;
}

int allocation_count()
{
    return desk().allocation_count;
}

int64_t allocated_bytes()
{
    return desk().allocated_bytes;
}

void post_message(HWND window, UINT message)
{
    desk().queue.push_back({window, message});
}

void log_calls(bool on)
{
    desk().logging = on;
}

const std::vector<std::string> &calls()
{
    return desk().calls;
}

void clear_calls()
{
    desk().calls.clear();
}

int presentation_count()
{
    return desk().presentation_count;
}

const Presentation &last_presentation()
{
    return desk().last_presentation;
}

const std::vector<SoundCall> &sounds_played()
{
    return desk().sounds;
}

int sleep_count()
{
    return desk().sleep_count;
}

int64_t slept_milliseconds()
{
    return desk().slept;
}

DWORD last_sleep()
{
    return desk().last_sleep;
}

LPTHREAD_START_ROUTINE thread_start()
{
    return desk().thread_start;
}

LPVOID thread_parameter()
{
    return desk().thread_parameter;
}

int thread_count()
{
    return desk().thread_count;
}

bool class_registered(const std::string &name)
{
    return desk().classes.count(name) != 0;
}

WNDCLASSEXA registered_class(const std::string &name)
{
    auto found = desk().classes.find(name);
    return found == desk().classes.end() ? WNDCLASSEXA{} : found->second;
}

HCURSOR current_cursor()
{
    return desk().cursor;
}

HCURSOR arrow_cursor()
{
    return (HCURSOR)ARROW_CURSOR;
}

DWORD allowed_foreground_process()
{
    return desk().allowed_process;
}

DWORD process_id()
{
    return PROCESS_ID;
}

std::vector<uint32_t> bitmap_pixels(HBITMAP bitmap, int &width, int &height)
{
    auto found = desk().bitmaps.find((uintptr_t)bitmap);
    if (found == desk().bitmaps.end()) {
        width = height = 0;
        return {};
    }
    width = found->second.width;
    height = found->second.height;
    return found->second.pixels;
}

HDC screen_dc()
{
    return (HDC)SCREEN_DC;
}

} // namespace sim

// kernel32

HANDLE WINAPI GetProcessHeap(void)
{
    return (HANDLE)0x9000;
}

LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes)
{
    LOG("HeapAlloc " + std::to_string(bytes));
    if (desk().failing_allocations > 0) {
        desk().failing_allocations--;
        return nullptr;
    }
    void *block = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                             : std::malloc(bytes ? bytes : 1);
    if (!block)
        return nullptr;
    desk().blocks.push_back(block);
    desk().allocation_count++;
    desk().allocated_bytes += (int64_t)bytes;
    return block;
}

HANDLE WINAPI CreateThread(SECURITY_ATTRIBUTES *attributes, SIZE_T stack_size,
                           LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                           LPDWORD thread_id)
{
    LOG("CreateThread security=" + hex(attributes) + " stack=" + std::to_string(stack_size) +
        " parameter=" + hex(parameter) + " flags=" + std::to_string(flags));
    desk().thread_start = start;
    desk().thread_parameter = parameter;
    desk().thread_count++;
    if (thread_id)
        *thread_id = 100 + desk().thread_count;
    return (HANDLE)(THREAD_HANDLE + desk().thread_count);
}

void WINAPI Sleep(DWORD milliseconds)
{
    LOG("Sleep " + std::to_string(milliseconds));
    desk().sleep_count++;
    desk().slept += milliseconds;
    desk().last_sleep = milliseconds;
    desk().counter += (int64_t)milliseconds * desk().frequency / 1000 + desk().sleep_overhead;
}

DWORD WINAPI GetCurrentProcessId(void)
{
    return PROCESS_ID;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *frequency)
{
    LOG("QueryPerformanceFrequency");
    frequency->QuadPart = desk().frequency;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count)
{
    LOG("QueryPerformanceCounter");
    count->QuadPart = desk().counter;
    return TRUE;
}

// Only the program's own module is known: a null name gives its instance handle.
HMODULE WINAPI GetModuleHandleA(LPCSTR module_name)
{
    return module_name ? nullptr : (HMODULE)MODULE_HANDLE;
}

// user32

int WINAPI GetSystemMetrics(int index)
{
    LOG("GetSystemMetrics " + std::to_string(index));
    switch (index) {
    case SM_XVIRTUALSCREEN: return desk().screen_x;
    case SM_YVIRTUALSCREEN: return desk().screen_y;
    case SM_CXVIRTUALSCREEN: return desk().screen_width;
    case SM_CYVIRTUALSCREEN: return desk().screen_height;
    default: return 0;
    }
}

HWND WINAPI GetDesktopWindow(void)
{
    LOG("GetDesktopWindow");
    return (HWND)DESKTOP_HANDLE;
}

BOOL WINAPI GetClientRect(HWND window, RECT *rect)
{
    LOG("GetClientRect " + hex(window));
    if (is_desktop(window)) {
        copy_rect(rect, {0, 0, desk().desktop_width, desk().desktop_height});
        return TRUE;
    }
    Window *w = live(window);
    if (!w)
        return FALSE;
    copy_rect(rect, {0, 0, w->client_width, w->client_height});
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, RECT *rect)
{
    LOG("GetWindowRect " + hex(window));
    if (is_desktop(window)) {
        copy_rect(rect, {0, 0, desk().desktop_width, desk().desktop_height});
        return TRUE;
    }
    Window *w = live(window);
    if (!w)
        return FALSE;
    copy_rect(rect, w->rect);
    return TRUE;
}

LONG WINAPI GetWindowLongA(HWND window, int index)
{
    if (is_desktop(window))
        return index == GWL_STYLE ? (LONG)(WS_POPUP | WS_VISIBLE) : 0;
    Window *w = live(window);
    if (!w)
        return 0;
    if (index == GWL_STYLE)
        return (LONG)w->style;
    if (index == GWL_EXSTYLE)
        return (LONG)w->ex_style;
    return 0;
}

BOOL WINAPI IsWindowVisible(HWND window)
{
    if (is_desktop(window))
        return TRUE;
    Window *w = live(window);
    return w && (w->style & WS_VISIBLE) ? TRUE : FALSE;
}

// The desktop window is the root of the window tree and has no siblings: as on the
// platform, both its first and its next window are null.
HWND WINAPI GetWindow(HWND window, UINT command)
{
    if (is_desktop(window))
        return nullptr;
    if (!live(window))
        return nullptr;
    auto &z = desk().z;
    if (command == GW_HWNDFIRST)
        return z.empty() ? nullptr : z.front();
    if (command == GW_HWNDNEXT) {
        auto at = std::find(z.begin(), z.end(), window);
        return (at == z.end() || at + 1 == z.end()) ? nullptr : *(at + 1);
    }
    return nullptr;
}

HWND WINAPI GetForegroundWindow(void)
{
    LOG("GetForegroundWindow");
    return desk().foreground;
}

BOOL WINAPI SetForegroundWindow(HWND window)
{
    LOG("SetForegroundWindow " + hex(window));
    desk().set_foreground_calls++;
    if (!live(window))
        return FALSE;
    sim::set_foreground(window);
    return TRUE;
}

BOOL WINAPI AllowSetForegroundWindow(DWORD process_id)
{
    LOG("AllowSetForegroundWindow " + std::to_string(process_id));
    desk().allowed_process = process_id;
    return TRUE;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    LOG("LoadCursorA " + hex(instance) + " " + hex(name));
    if (!instance && name == IDC_ARROW)
        return (HCURSOR)ARROW_CURSOR;
    return nullptr;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor)
{
    LOG("SetCursor " + hex(cursor));
    HCURSOR previous = desk().cursor;
    desk().cursor = cursor;
    return previous;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *window_class)
{
    LOG("RegisterClassExA");
    if (!window_class || window_class->cbSize != sizeof(WNDCLASSEXA) || !window_class->lpszClassName)
        return 0;
    std::string name = window_class->lpszClassName;
    if (desk().classes.count(name))
        return 0;
    desk().class_names[name] = name;
    WNDCLASSEXA copy = *window_class;
    copy.lpszClassName = desk().class_names[name].c_str();
    desk().classes[name] = copy;
    return (ATOM)(0xC000 + desk().classes.size());
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter)
{
    LOG("CreateWindowExA ex=" + std::to_string(ex_style) + " class=" + (class_name ? class_name : "") +
        " title=" + (window_name ? window_name : "") + " style=" + std::to_string(style) + " " +
        std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
        std::to_string(height) + " parent=" + hex(parent) + " menu=" + hex(menu) +
        " instance=" + hex(instance) + " parameter=" + hex(parameter));
    if (!class_name || !desk().classes.count(class_name))
        return nullptr;
    const WNDCLASSEXA &window_class = desk().classes[class_name];
    sim::WindowSpec spec;
    spec.style = style;
    spec.ex_style = ex_style;
    spec.rect = {x, y, x + width, y + height};
    spec.class_name = class_name;
    spec.title = window_name ? window_name : "";
    HWND window = sim::add_window(spec);
    Window *w = live(window);
    w->procedure = window_class.lpfnWndProc;
    w->instance = instance;
    return window;
}

BOOL WINAPI ShowWindow(HWND window, int show_mode)
{
    LOG("ShowWindow " + hex(window) + " " + std::to_string(show_mode));
    Window *w = live(window);
    if (!w)
        return FALSE;
    BOOL was_visible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    w->show_calls++;
    w->last_show = show_mode;
    if (show_mode == SW_HIDE)
        w->style &= ~(DWORD)WS_VISIBLE;
    else
        w->style |= WS_VISIBLE;
    return was_visible;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    LOG("UpdateWindow " + hex(window));
    Window *w = live(window);
    if (!w)
        return FALSE;
    w->update_calls++;
    return TRUE;
}

// The desktop window cannot be destroyed; a dead window fails a second time.
BOOL WINAPI DestroyWindow(HWND window)
{
    LOG("DestroyWindow " + hex(window));
    if (!live(window))
        return FALSE;
    sim::destroy_window(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window)
{
    return is_desktop(window) || live(window) ? TRUE : FALSE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM)
{
    LOG("DefWindowProcA " + hex(window) + " " + std::to_string(message));
    if (message == WM_CLOSE)
        sim::destroy_window(window);
    return 0;
}

// A test cannot block, so an empty queue answers as if WM_QUIT had been posted.
BOOL WINAPI GetMessageA(MSG *msg, HWND window, UINT, UINT)
{
    LOG("GetMessageA " + hex(window));
    if (window && !live(window))
        return -1;
    auto &queue = desk().queue;
    for (auto at = queue.begin(); at != queue.end(); ++at) {
        if (!window || at->window == window) {
            *msg = MSG{at->window, at->message, at->wparam, at->lparam, 0, {0, 0}};
            queue.erase(at);
            return TRUE;
        }
    }
    *msg = MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}};
    return FALSE;
}

// A null window posts to the thread's queue; a dead window refuses the message.
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    LOG("PostMessageA " + hex(window) + " " + std::to_string(message));
    if (window && !live(window))
        return FALSE;
    desk().queue.push_back({window, message, wparam, lparam});
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG *msg)
{
    LOG("TranslateMessage " + std::to_string(msg->message));
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg)
{
    LOG("DispatchMessageA " + std::to_string(msg->message));
    Window *w = live(msg->hwnd);
    if (!w || !w->procedure)
        return 0;
    return w->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

HDC WINAPI GetDC(HWND window)
{
    LOG("GetDC " + hex(window));
    return window ? nullptr : (HDC)SCREEN_DC;
}

BOOL WINAPI UpdateLayeredWindow(HWND window, HDC dst, POINT *dst_origin, SIZE *size, HDC src,
                                POINT *src_origin, DWORD key, BLENDFUNCTION *blend, DWORD flags)
{
    LOG("UpdateLayeredWindow " + hex(window));
    Window *w = live(window);
    if (!w || !(w->ex_style & WS_EX_LAYERED) || !size || !src || !blend)
        return FALSE;
    auto selected = desk().selected.find((uintptr_t)src);
    if (selected == desk().selected.end())
        return FALSE;
    const Bitmap &bitmap = desk().bitmaps[selected->second];
    POINT from = src_origin ? *src_origin : POINT{0, 0};
    if (size->cx <= 0 || size->cy <= 0 || from.x < 0 || from.y < 0 ||
        from.x + size->cx > bitmap.width || from.y + size->cy > bitmap.height)
        return FALSE;
    sim::Presentation &p = desk().last_presentation;
    p.window = window;
    p.had_dst_dc = dst != nullptr;
    p.dst = dst_origin ? *dst_origin : POINT{w->rect.left, w->rect.top};
    p.size = *size;
    p.src = from;
    p.key = key;
    p.blend = *blend;
    p.flags = flags;
    p.pixels.resize((size_t)size->cx * (size_t)size->cy);
    for (LONG row = 0; row < size->cy; row++)
        std::memcpy(&p.pixels[(size_t)row * size->cx],
                    &bitmap.pixels[(size_t)(from.y + row) * bitmap.width + from.x],
                    (size_t)size->cx * 4);
    w->rect = {p.dst.x, p.dst.y, p.dst.x + size->cx, p.dst.y + size->cy};
    desk().presentation_count++;
    return TRUE;
}

// gdi32

HDC WINAPI CreateCompatibleDC(HDC dc)
{
    LOG("CreateCompatibleDC " + hex(dc));
    uintptr_t handle = desk().next_dc++;
    desk().selected[handle] = STOCK_BITMAP;
    return (HDC)handle;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height)
{
    LOG("CreateCompatibleBitmap " + hex(dc) + " " + std::to_string(width) + "x" + std::to_string(height));
    if (!dc || width <= 0 || height <= 0 || (int64_t)width * height > (int64_t)1 << 28)
        return nullptr;
    uintptr_t handle = desk().next_bitmap++;
    Bitmap &bitmap = desk().bitmaps[handle];
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign((size_t)width * (size_t)height, 0);
    return (HBITMAP)handle;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object)
{
    LOG("SelectObject " + hex(dc) + " " + hex(object));
    auto selected = desk().selected.find((uintptr_t)dc);
    // The DC's original stock bitmap can be selected back, as on the platform.
    if (selected == desk().selected.end() ||
        ((uintptr_t)object != STOCK_BITMAP && !desk().bitmaps.count((uintptr_t)object)))
        return nullptr;
    uintptr_t previous = selected->second;
    selected->second = (uintptr_t)object;
    return (HGDIOBJ)previous;
}

// Copies a 32-bit BI_RGB DIB into the bitmap selected into dc; a positive height
// means the DIB's first row is the image's bottom row.
int WINAPI SetDIBitsToDevice(HDC dc, int x_dest, int y_dest, DWORD width, DWORD height, int x_src,
                             int y_src, UINT start_scan, UINT lines, const void *bits,
                             const BITMAPINFO *info, UINT color_use)
{
    LOG("SetDIBitsToDevice " + hex(dc) + " " + std::to_string(x_dest) + "," + std::to_string(y_dest) +
        " " + std::to_string(width) + "x" + std::to_string(height) + " " + std::to_string(x_src) +
        "," + std::to_string(y_src) + " " + std::to_string(start_scan) + " " + std::to_string(lines) +
        " " + hex(bits) + " " + hex(info) + " " + std::to_string(color_use));
    auto selected = desk().selected.find((uintptr_t)dc);
    if (selected == desk().selected.end() || !bits || !info)
        return 0;
    auto found = desk().bitmaps.find(selected->second);
    if (found == desk().bitmaps.end())
        return 0;
    const BITMAPINFOHEADER &h = info->bmiHeader;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0)
        return 0;
    Bitmap &bitmap = found->second;
    const uint32_t *source = static_cast<const uint32_t *>(bits);
    LONG dib_rows = h.biHeight > 0 ? h.biHeight : -h.biHeight;
    UINT copied = 0;
    for (UINT scan = start_scan; scan < start_scan + lines && (LONG)scan < dib_rows; scan++) {
        // Row index in the DIB counted from its top.
        LONG top_row = h.biHeight > 0 ? dib_rows - 1 - (LONG)scan : (LONG)scan;
        LONG dest_row = y_dest + (top_row - y_src);
        if (top_row < y_src || top_row >= y_src + (LONG)height || dest_row < 0 || dest_row >= bitmap.height)
            continue;
        // Columns that land inside both the bitmap and the DIB's row.
        LONG first = std::max<LONG>(0, -x_dest);
        LONG last = std::min<LONG>({(LONG)width, bitmap.width - x_dest, h.biWidth - x_src});
        if (first < last)
            std::memcpy(&bitmap.pixels[(size_t)dest_row * bitmap.width + x_dest + first],
                        &source[(size_t)(scan - start_scan) * h.biWidth + x_src + first],
                        (size_t)(last - first) * 4);
        copied++;
    }
    return (int)copied;
}

// 0x00BBGGRR of the pixel at (x, y) from the top-left of the bitmap selected into dc.
COLORREF WINAPI GetPixel(HDC dc, int x, int y)
{
    auto selected = desk().selected.find((uintptr_t)dc);
    if (selected == desk().selected.end())
        return CLR_INVALID;
    auto found = desk().bitmaps.find(selected->second);
    if (found == desk().bitmaps.end() || x < 0 || y < 0 || x >= found->second.width ||
        y >= found->second.height)
        return CLR_INVALID;
    uint32_t pixel = found->second.pixels[(size_t)y * found->second.width + x];
    return ((pixel & 0xFF) << 16) | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF);
}

// Reads scan lines of a bitmap into a 32-bit BI_RGB DIB of the bitmap's width, alpha
// byte included; a positive height asks for bottom-up rows. Other formats, and a
// null bits pointer (the platform's query of the format), fail with 0.
int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT start_scan, UINT lines, LPVOID bits, BITMAPINFO *info,
                     UINT color_use)
{
    LOG("GetDIBits " + hex(dc) + " " + hex(bitmap) + " " + std::to_string(start_scan) + " " +
        std::to_string(lines) + " " + std::to_string(color_use));
    auto found = desk().bitmaps.find((uintptr_t)bitmap);
    if (!dc || !bits || !info || found == desk().bitmaps.end())
        return 0;
    const BITMAPINFOHEADER &h = info->bmiHeader;
    const Bitmap &source = found->second;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biWidth != source.width || h.biHeight == 0)
        return 0;
    uint32_t *target = static_cast<uint32_t *>(bits);
    int copied = 0;
    for (UINT scan = start_scan; scan < start_scan + lines && (LONG)scan < source.height; scan++) {
        // DIB scan lines count from the bottom row for a bottom-up request.
        LONG row = h.biHeight > 0 ? source.height - 1 - (LONG)scan : (LONG)scan;
        std::memcpy(&target[(size_t)(scan - start_scan) * source.width],
                    &source.pixels[(size_t)row * source.width], (size_t)source.width * 4);
        copied++;
    }
    return copied;
}

// winmm

BOOL WINAPI sndPlaySoundA(LPCSTR sound, UINT flags)
{
    LOG("sndPlaySoundA " + hex(sound) + " " + std::to_string(flags));
    desk().sounds.push_back({sound, flags});
    return TRUE;
}
