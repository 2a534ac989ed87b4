// The watch loop: the worker thread that polls the foreground window, keeps the
// census and glows current, and decides between drawing and idling on every pass.
#pragma once

#include "host/shared.h"

#include <windows.h>

#include <cstdint>

extern HWND last_foreground; // foreground window last treated as a change
extern bool scene_changed;   // set during a pass when something moved

// Phase at which whole turns are taken off ray_phase, so that single precision
// keeps its steps even after the program has run for weeks.
inline constexpr float RAY_PHASE_WRAP = 65536.0f;

// What the loop keeps between passes (locals of the thread procedure).
struct WatchState {
    HCURSOR arrow_cursor;
    int32_t idle_counter; // 0..31
    RECT previous_rect;   // foreground rectangle as last seen, inflated
    RECT current_rect;    // this pass's foreground rectangle, inflated
};

extern WatchState watch_state;

// The loop's start-up steps: cursor, first clear and present, clock.
void start_watch();

// One pass of the loop, sleep and clock reading included.
void watch_pass();

// The thread procedure: start_watch, then watch_pass for ever.
DWORD WINAPI watch_loop(LPVOID parameter);
