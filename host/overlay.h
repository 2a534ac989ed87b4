// Start-up of the program: the screen measured once, the overlay window and its
// class, the worker thread, and the message pump. Presentation lives in frame.h,
// the worker's loop in watch.h.
#pragma once

#include <windows.h>

#include <cstdint>

// The one literal that names the overlay's window class and titles the window.
inline constexpr char OVERLAY_NAME[] = "Solvane";

// Measured once at start-up and never again; written before the worker starts.
struct ScreenGeometry {
    int32_t x;              // virtual screen's left edge, screen pixels
    int32_t y;              // virtual screen's top edge, screen pixels
    int32_t desktop_width;  // desktop window's client width, pixels
    int32_t desktop_height; // desktop window's client height, pixels
    int32_t width;          // virtual screen's width, pixels
    int32_t height;         // virtual screen's height, pixels
};

// The worker thread as CreateThread returned it; never waited for, never closed.
struct WatchThread {
    HANDLE handle;
    DWORD identifier;
};

extern ScreenGeometry screen_geometry;
extern HWND desktop_window;
extern HWND overlay_window;
extern WatchThread watch_thread;

// Reads the desktop window, its client size and the virtual screen's metrics.
void measure_screen();

// Registers the overlay's class with the default window procedure; returns the atom.
ATOM register_overlay_class(HINSTANCE instance);

// Creates the layered, click-through, topmost tool window at (0, 0) with the virtual
// screen's size, stores it in overlay_window, shows it and returns UpdateWindow's result.
BOOL create_overlay_window(HINSTANCE instance);

// Everything WinMain does before its pump, in order; the worker starts last.
void start_up(HINSTANCE instance);

// One turn of the pump: take a message for the overlay, dispatch it, sleep 5 ms.
void pump_message();
