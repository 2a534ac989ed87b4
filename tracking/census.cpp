// The census of windows that can receive light, rebuilt from the Z order on every
// pass, and the thick-frame rule that widens a window's rectangle to its visible edge.
#include "tracking/census.h"

#include "host/shared.h"

WindowCensus window_census;

namespace {

// Decides on one window of the Z-order walk; the tests run in this order and each
// works on the result of the ones before it. rect receives the window's rectangle.
bool census_takes(HWND window, HWND desktop, RECT &rect)
{
    DWORD ex_style = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    bool taken = IsWindowVisible(window) && (style & WS_CAPTION) != 0;
    if (window == overlay_window) {
        taken = false;
    }
    if (ex_style & WS_EX_TRANSPARENT) {
        taken = false;
    }
    if ((ex_style & WS_EX_TOOLWINDOW) && !(style & WS_DLGFRAME)) {
        taken = false;
    }
    GetWindowRect(window, &rect);
    // The size tests use the platform's rectangle, before any inflation.
    LONG width = rect.right - rect.left;
    LONG height = rect.bottom - rect.top;
    if (width == screen_geometry.width && height == screen_geometry.height) {
        taken = false;
    }
    // A window that exactly covers the desktop's client area is lit whatever its
    // style; on one monitor this also overrules the virtual-screen test above.
    if (width == screen_geometry.desktop_width && height == screen_geometry.desktop_height &&
        window != overlay_window) {
        taken = true;
    }
    return taken && window != desktop;
}

} // namespace

// The walk stops at the capacity: the windows below the 1024th are never lit. It
// also stops after CENSUS_WALK_LIMIT windows, in case the Z order changes under it
// and GW_HWNDNEXT comes back round, which the platform warns can loop for ever.
void take_census(HWND start)
{
    HWND desktop = GetDesktopWindow();
    window_census.count = 0;
    int32_t visited = 0;
    for (HWND w = GetWindow(start, GW_HWNDFIRST); w && visited < CENSUS_WALK_LIMIT; w = GetWindow(w, GW_HWNDNEXT)) {
        visited++;
        if (window_census.count == CENSUS_CAPACITY) {
            break;
        }
        // A failed query leaves the rectangle as it was; start it empty.
        RECT rect = {0, 0, 0, 0};
        if (!census_takes(w, desktop, rect)) {
            continue;
        }
        inflate_thick_frame(w, rect);
        window_census.handles[window_census.count] = w;
        window_census.rects[window_census.count] = rect;
        window_census.count++;
    }
}

void inflate_thick_frame(HWND window, RECT &rect)
{
    DWORD ex_style = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    DWORD style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    bool applies = (ex_style & WS_EX_DLGMODALFRAME) || !(style & WS_MAXIMIZEBOX);
    // Computed in 64 bits: rectangles of destroyed or odd windows can be anything.
    int64_t excess = static_cast<int64_t>(rect.right) - rect.left - client.right;
    if (!applies || excess != THICK_FRAME_EXCESS) {
        return;
    }
    rect.left -= THICK_FRAME_INFLATION;
    rect.top -= THICK_FRAME_INFLATION;
    rect.right += THICK_FRAME_INFLATION;
    rect.bottom += THICK_FRAME_INFLATION;
}
