// The simulated desktop's whole state, private to the stand-in: the record tests
// read, and the bookkeeping behind it (Z order, message queue, device contexts,
// the clock's settings, heap blocks). Included only by the files of winapi/.
#pragma once

#include "desktop.h"

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace sim {

const uintptr_t DESKTOP_HANDLE = 0x10010;
const uintptr_t FIRST_WINDOW_HANDLE = 0x20000;
const uintptr_t HANDLE_STRIDE = 4;
const uintptr_t FIRST_MEMORY_DC = 0x5100;
const uintptr_t STOCK_BITMAP = 0x6000;
const uintptr_t FIRST_BITMAP = 0x6100;
const uintptr_t THREAD_HANDLE = 0x8000;
const uintptr_t MODULE_HANDLE = 0x400000;
const LONG FRAME = 3;    // simulated frame on each side of a framed window
const LONG CAPTION = 22; // simulated caption height

struct Message {
    HWND window;
    UINT message;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};

// The record tests read, and what only the stand-in keeps behind it.
struct State : Desktop {
    int screen_x = 0, screen_y = 0, screen_width = 1024, screen_height = 768;
    int desktop_width = 1024, desktop_height = 768;
    std::vector<HWND> z;   // live top-level windows, highest first
    bool z_cycles = false; // the lowest window's next is the highest again
    uintptr_t next_handle = FIRST_WINDOW_HANDLE;
    int64_t frequency = 10000000; // counter ticks per second
    int64_t sleep_overhead = 0;   // ticks each Sleep adds beyond its length
    int failing_allocations = 0;
    std::vector<void *> blocks; // every block HeapAlloc handed out
    std::deque<Message> queue;
    bool logging = true;
    std::map<std::string, std::string> class_names; // class names outlive the caller's strings
    std::map<HDC, HBITMAP> selected;                // memory DC -> bitmap selected into it
    uintptr_t next_dc = FIRST_MEMORY_DC;
    uintptr_t next_bitmap = FIRST_BITMAP;
};

// The one simulated desktop, defined with the knobs in desktop.cpp; every platform
// function and knob works on it.
State &state();

// Builds the log line only while logging, so long runs pay nothing for it.
#define LOG(line)                                                                                                      \
    do {                                                                                                               \
        if (sim::state().logging) {                                                                                    \
            sim::state().calls.push_back(line);                                                                        \
        }                                                                                                              \
    } while (0)

// A handle or pointer as the call log writes it: 0 or 0x-prefixed hex.
inline std::string hex(const void *value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%#lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(value)));
    return text;
}

// The window's record while it is alive, else null.
inline Window *live(HWND window)
{
    auto found = state().windows.find(window);
    if (found == state().windows.end() || !found->second.alive) {
        return nullptr;
    }
    return &found->second;
}

inline bool is_desktop(HWND window)
{
    return reinterpret_cast<uintptr_t>(window) == DESKTOP_HANDLE;
}

} // namespace sim
