// user32 over the simulated desktop: screen metrics, the Z-order walk and window
// queries, the foreground window, classes, window creation, the message queue and
// the layered-window presentation. Queries on a destroyed window fail and leave
// their outputs untouched, as on the platform.
#include "state.h"

#include <algorithm>
#include <cstring>

using sim::hex;
using sim::is_desktop;
using sim::live;
using sim::state;
using sim::Window;

namespace {

// The client or the whole rectangle of a window into *out (when given). The desktop
// window's are both the desktop's client area; a destroyed window fails and leaves
// *out untouched.
BOOL answer_rect(HWND window, RECT *out, bool client)
{
    RECT rect;
    if (is_desktop(window)) {
        rect = {0, 0, state().desktop_width, state().desktop_height};
    } else if (const Window *w = live(window)) {
        rect = client ? RECT{0, 0, w->client_width, w->client_height} : w->rect;
    } else {
        return FALSE;
    }
    if (out) {
        *out = rect;
    }
    return TRUE;
}

} // namespace

int WINAPI GetSystemMetrics(int index)
{
    LOG("GetSystemMetrics " + std::to_string(index));
    switch (index) {
    case SM_XVIRTUALSCREEN: return state().screen_x;
    case SM_YVIRTUALSCREEN: return state().screen_y;
    case SM_CXVIRTUALSCREEN: return state().screen_width;
    case SM_CYVIRTUALSCREEN: return state().screen_height;
    default: return 0;
    }
}

HWND WINAPI GetDesktopWindow(void)
{
    LOG("GetDesktopWindow");
    return reinterpret_cast<HWND>(sim::DESKTOP_HANDLE);
}

BOOL WINAPI GetClientRect(HWND window, RECT *rect)
{
    LOG("GetClientRect " + hex(window));
    return answer_rect(window, rect, true);
}

BOOL WINAPI GetWindowRect(HWND window, RECT *rect)
{
    LOG("GetWindowRect " + hex(window));
    return answer_rect(window, rect, false);
}

LONG WINAPI GetWindowLongA(HWND window, int index)
{
    if (is_desktop(window)) {
        return index == GWL_STYLE ? static_cast<LONG>(WS_POPUP | WS_VISIBLE) : 0;
    }
    Window *w = live(window);
    if (!w) {
        return 0;
    }
    if (index == GWL_STYLE) {
        return static_cast<LONG>(w->style);
    }
    if (index == GWL_EXSTYLE) {
        return static_cast<LONG>(w->ex_style);
    }
    return 0;
}

BOOL WINAPI IsWindowVisible(HWND window)
{
    if (is_desktop(window)) {
        return TRUE;
    }
    Window *w = live(window);
    return w && (w->style & WS_VISIBLE) ? TRUE : FALSE;
}

// The desktop window is the root of the window tree and has no siblings: as on the
// platform, both its first and its next window are null.
HWND WINAPI GetWindow(HWND window, UINT command)
{
    if (is_desktop(window)) {
        return nullptr;
    }
    if (!live(window)) {
        return nullptr;
    }
    auto &z = state().z;
    if (command == GW_HWNDFIRST) {
        return z.empty() ? nullptr : z.front();
    }
    if (command == GW_HWNDNEXT) {
        auto at = std::find(z.begin(), z.end(), window);
        if (at == z.end()) {
            return nullptr;
        }
        if (at + 1 == z.end()) {
            return state().z_cycles ? z.front() : nullptr;
        }
        return *(at + 1);
    }
    return nullptr;
}

HWND WINAPI GetForegroundWindow(void)
{
    LOG("GetForegroundWindow");
    return state().foreground;
}

BOOL WINAPI SetForegroundWindow(HWND window)
{
    LOG("SetForegroundWindow " + hex(window));
    state().set_foreground_calls++;
    if (!live(window)) {
        return FALSE;
    }
    sim::set_foreground(window);
    return TRUE;
}

BOOL WINAPI AllowSetForegroundWindow(DWORD process_id)
{
    LOG("AllowSetForegroundWindow " + std::to_string(process_id));
    state().allowed_foreground_process = process_id;
    return TRUE;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    LOG("LoadCursorA " + hex(instance) + " " + hex(name));
    if (!instance && name == IDC_ARROW) {
        return state().arrow_cursor;
    }
    return nullptr;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor)
{
    LOG("SetCursor " + hex(cursor));
    HCURSOR previous = state().current_cursor;
    state().current_cursor = cursor;
    return previous;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *window_class)
{
    LOG("RegisterClassExA");
    if (!window_class || window_class->cbSize != sizeof(WNDCLASSEXA) || !window_class->lpszClassName) {
        return 0;
    }
    std::string name = window_class->lpszClassName;
    if (state().classes.count(name)) {
        return 0;
    }
    state().class_names[name] = name;
    WNDCLASSEXA copy = *window_class;
    copy.lpszClassName = state().class_names[name].c_str();
    state().classes[name] = copy;
    return static_cast<ATOM>(0xC000 + state().classes.size());
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter)
{
    LOG("CreateWindowExA ex=" + std::to_string(ex_style) + " class=" + (class_name ? class_name : "") + " title=" +
        (window_name ? window_name : "") + " style=" + std::to_string(style) + " " + std::to_string(x) + "," +
        std::to_string(y) + " " + std::to_string(width) + "x" + std::to_string(height) + " parent=" + hex(parent) +
        " menu=" + hex(menu) + " instance=" + hex(instance) + " parameter=" + hex(parameter));
    if (!class_name || !state().classes.count(class_name)) {
        return nullptr;
    }
    const WNDCLASSEXA &window_class = state().classes[class_name];
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
    if (!w) {
        return FALSE;
    }
    BOOL was_visible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    w->show_calls++;
    w->last_show = show_mode;
    if (show_mode == SW_HIDE) {
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    } else {
        w->style |= WS_VISIBLE;
    }
    // These modes activate the window as they show it; SW_SHOWNOACTIVATE and
    // SW_HIDE leave the foreground where it was.
    if (show_mode == SW_SHOWNORMAL || show_mode == SW_SHOWMINIMIZED || show_mode == SW_SHOW) {
        sim::set_foreground(window);
    }
    return was_visible;
}

BOOL WINAPI UpdateWindow(HWND window)
{
    LOG("UpdateWindow " + hex(window));
    Window *w = live(window);
    if (!w) {
        return FALSE;
    }
    w->update_calls++;
    return TRUE;
}

// The desktop window cannot be destroyed; a dead window fails a second time.
BOOL WINAPI DestroyWindow(HWND window)
{
    LOG("DestroyWindow " + hex(window));
    if (!live(window)) {
        return FALSE;
    }
    sim::destroy_window(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window)
{
    return is_desktop(window) || live(window) ? TRUE : FALSE;
}

// Alt+F4 arrives as SC_CLOSE, which the default handling sends on to the window's
// own procedure as WM_CLOSE; the default handling of WM_CLOSE destroys the window.
// The low four bits of an SC_ command are the system's own.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM)
{
    LOG("DefWindowProcA " + hex(window) + " " + std::to_string(message));
    const Window *w = live(window);
    if (message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_CLOSE && w && w->procedure) {
        return w->procedure(window, WM_CLOSE, 0, 0);
    }
    if (message == WM_CLOSE) {
        sim::destroy_window(window);
    }
    return 0;
}

// A test cannot block, so an empty queue answers as if WM_QUIT had been posted.
BOOL WINAPI GetMessageA(MSG *msg, HWND window, UINT, UINT)
{
    LOG("GetMessageA " + hex(window));
    if (window && !live(window)) {
        return -1;
    }
    auto &queue = state().queue;
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
    if (window && !live(window)) {
        return FALSE;
    }
    state().queue.push_back({window, message, wparam, lparam});
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
    if (!w || !w->procedure) {
        return 0;
    }
    return w->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

HDC WINAPI GetDC(HWND window)
{
    LOG("GetDC " + hex(window));
    return window ? nullptr : state().screen_dc;
}

BOOL WINAPI UpdateLayeredWindow(HWND window, HDC dst, POINT *dst_origin, SIZE *size, HDC src, POINT *src_origin,
                                DWORD key, BLENDFUNCTION *blend, DWORD flags)
{
    LOG("UpdateLayeredWindow " + hex(window));
    Window *w = live(window);
    if (!w || !(w->ex_style & WS_EX_LAYERED) || !size || !src || !blend) {
        return FALSE;
    }
    auto selected = state().selected.find(src);
    if (selected == state().selected.end()) {
        return FALSE;
    }
    const sim::Bitmap &bitmap = state().bitmaps[selected->second];
    POINT from = src_origin ? *src_origin : POINT{0, 0};
    if (size->cx <= 0 || size->cy <= 0 || from.x < 0 || from.y < 0 || from.x + size->cx > bitmap.width ||
        from.y + size->cy > bitmap.height) {
        return FALSE;
    }
    sim::Presentation &p = state().last_presentation;
    p.window = window;
    p.had_dst_dc = dst != nullptr;
    p.dst = dst_origin ? *dst_origin : POINT{w->rect.left, w->rect.top};
    p.size = *size;
    p.src = from;
    p.key = key;
    p.blend = *blend;
    p.flags = flags;
    p.pixels.resize(static_cast<size_t>(size->cx) * static_cast<size_t>(size->cy));
    for (LONG row = 0; row < size->cy; row++) {
        std::memcpy(&p.pixels[static_cast<size_t>(row) * size->cx],
                    &bitmap.pixels[static_cast<size_t>(from.y + row) * bitmap.width + from.x],
                    static_cast<size_t>(size->cx) * 4);
    }
    w->rect = {p.dst.x, p.dst.y, p.dst.x + size->cx, p.dst.y + size->cy};
    state().presentation_count++;
    return TRUE;
}
