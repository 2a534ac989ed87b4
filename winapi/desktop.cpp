// The one simulated desktop and the knobs tests turn on it: top-level windows in Z
// order, the foreground window, the screen's metrics, the clock and the heap. The
// platform functions that read and change it live in kernel32.cpp, user32.cpp,
// gdi32.cpp and winmm.cpp.
#include "state.h"

#include <algorithm>
#include <cstdlib>

namespace sim {
namespace {

State *&current_state()
{
    static State *state = new State();
    return state;
}

void unlink(HWND window)
{
    auto &z = state().z;
    z.erase(std::remove(z.begin(), z.end(), window), z.end());
}

// Topmost windows stay above all others: a window goes to the top of its band.
void place_on_top(HWND window)
{
    unlink(window);
    auto &z = state().z;
    auto position = z.begin();
    if (!live(window)->topmost) {
        while (position != z.end() && live(*position)->topmost) {
            ++position;
        }
    }
    z.insert(position, window);
}

HWND make_window(uintptr_t handle, const WindowSpec &spec)
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
    w.client_width = spec.client_width >= 0 ? spec.client_width : std::max<LONG>(0, width - (framed ? 2 * FRAME : 0));
    w.client_height = spec.client_height >= 0
                          ? spec.client_height
                          : std::max<LONG>(0, height - (framed ? 2 * FRAME : 0) - (captioned ? CAPTION : 0));
    w.class_name = spec.class_name;
    w.title = spec.title;
    HWND hwnd = reinterpret_cast<HWND>(handle);
    state().windows[hwnd] = w;
    place_on_top(hwnd);
    return hwnd;
}

} // namespace

State &state()
{
    return *current_state();
}

const Desktop &desktop()
{
    return state();
}

void reset()
{
    for (void *block : state().blocks) {
        std::free(block);
    }
    delete current_state();
    current_state() = new State();
}

void set_virtual_screen(int x, int y, int width, int height)
{
    state().screen_x = x;
    state().screen_y = y;
    state().screen_width = width;
    state().screen_height = height;
}

void set_desktop_client(int width, int height)
{
    state().desktop_width = width;
    state().desktop_height = height;
}

void change_display_layout(int x, int y, int width, int height)
{
    set_virtual_screen(x, y, width, height);
    set_desktop_client(width, height);
}

HWND add_window(const WindowSpec &spec)
{
    uintptr_t handle = state().next_handle;
    state().next_handle += HANDLE_STRIDE;
    return make_window(handle, spec);
}

HWND add_window_reusing(HWND handle, const WindowSpec &spec)
{
    if (live(handle) || is_desktop(handle) || !handle) {
        std::abort(); // a test asked for a handle that is still in use
    }
    return make_window(reinterpret_cast<uintptr_t>(handle), spec);
}

void destroy_window(HWND window)
{
    Window *w = live(window);
    if (!w) {
        return;
    }
    w->alive = false;
    unlink(window);
    if (state().foreground == window) {
        state().foreground = nullptr;
    }
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
    if (Window *w = live(window)) {
        w->style = visible ? (w->style | WS_VISIBLE) : (w->style & ~static_cast<DWORD>(WS_VISIBLE));
    }
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
    if (live(window)) {
        place_on_top(window);
    }
}

void cycle_z_order(bool on)
{
    state().z_cycles = on;
}

void set_foreground(HWND window)
{
    state().foreground = window;
    if (live(window)) {
        place_on_top(window);
    }
}

void set_frequency(int64_t ticks_per_second)
{
    state().frequency = ticks_per_second;
}

void advance_counter(int64_t ticks)
{
    state().counter += ticks;
}

void set_sleep_overhead(int64_t ticks)
{
    state().sleep_overhead = ticks;
}

void fail_next_allocations(int n)
{
    state().failing_allocations = n;
}

void post_message(HWND window, UINT message)
{
    state().queue.push_back({window, message});
}

void log_calls(bool on)
{
    state().logging = on;
}

void clear_calls()
{
    state().calls.clear();
}

} // namespace sim
