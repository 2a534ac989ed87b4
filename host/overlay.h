// Start-up of the program: the screen measured once, the overlay window and its
// class, the worker thread, and the message pump. The screen and the handles are
// declared in shared.h, presentation in frame.h, the worker's loop in watch.h.
#pragma once

#include "host/shared.h"

#include <windows.h>

// The one literal that names the overlay's window class and titles the window.
inline constexpr char OVERLAY_NAME[] = "Solvane";

// The worker thread as CreateThread returned it; never waited for, never closed.
struct WatchThread {
    HANDLE handle;
    DWORD identifier;
};

extern WatchThread watch_thread;

// Reads the desktop window, its client size and the virtual screen's metrics.
void measure_screen();

// Registers the overlay's class, whose procedure declines WM_CLOSE and hands every
// other message to DefWindowProcA; returns the atom. start_up calls it.
ATOM register_overlay_class(HINSTANCE instance);

// Creates the layered, click-through, topmost tool window at (0, 0) with the virtual
// screen's size, stores it in overlay_window, shows it without activating it and
// returns UpdateWindow's result.
BOOL create_overlay_window(HINSTANCE instance);

// Everything WinMain does before its pump, in order; the worker starts last.
void start_up(HINSTANCE instance);

// One turn of the pump: take a message for the overlay, dispatch it, sleep 5 ms.
void pump_message();
