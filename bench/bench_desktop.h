// The benchmark desktops: screens with staggered framed windows, the watch loop's
// worst case. frame_bench times whole frames of the five below, render_bench lays
// out its own sizes the same way, and FanReferenceTest checks the five's frames
// against the reference renderer to the bit. Also the checksum of frames that
// frame_bench prints and the fan tests record.
#pragma once

#include "host/frame.h"
#include "host/overlay.h"
#include "tracking/census.h"
#include "tracking/glow.h"

#include <cstdint>
#include <vector>

struct BenchDesktop {
    int32_t width;   // pixels, more than 300
    int32_t height;  // rows, more than 200
    int32_t windows; // census entries
};

inline constexpr BenchDesktop BENCH_DESKTOPS[] = {
    {1920, 1080, 8}, {1920, 1080, 32}, {2560, 1440, 24}, {3840, 2160, 32}, {11520, 2160, 48},
};

inline HWND bench_window(int32_t i)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + i));
}

// Window i at left (173 i) mod (W - 300), top (97 i) mod (H - 200), size
// (300 + 37 i mod 700) x (200 + 53 i mod 500).
inline RECT bench_window_rect(const BenchDesktop &desktop, int32_t i)
{
    const LONG left = (173 * i) % (desktop.width - 300);
    const LONG top = (97 * i) % (desktop.height - 200);
    return RECT{left, top, left + 300 + (37 * i) % 700, top + 200 + (53 * i) % 500};
}

// The desktop's screen and census, window 0 highest and no desktop window; the
// frame buffer's storage is the caller's, zeroed, so that no frame allocates.
inline void lay_out_bench_desktop(const BenchDesktop &desktop, std::vector<uint32_t> &storage)
{
    screen_geometry = ScreenGeometry{0, 0, desktop.width, desktop.height, desktop.width, desktop.height};
    storage.assign(static_cast<size_t>(desktop.width) * desktop.height, 0);
    frame_buffer.storage = storage.data();
    raster_target.pixels = storage.data();
    desktop_window = nullptr;
    window_census.count = desktop.windows;
    for (int32_t i = 0; i < desktop.windows; ++i) {
        window_census.handles[i] = bench_window(i);
        window_census.rects[i] = bench_window_rect(desktop, i);
    }
}

// 64-bit FNV-1a over 32-bit words, low byte first: the same in every build.
struct Checksum {
    uint64_t hash = 14695981039346656037ull;
    void mix(uint32_t word)
    {
        for (int shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((word >> shift) & 0xFF)) * 1099511628211ull;
        }
    }
};

// Every window of the census at glow 1.0, as if just activated.
inline void light_every_window()
{
    for (int32_t i = 0; i < window_census.count; ++i) {
        glow_entry_for(window_census.handles[i])->glow = 1.0f;
    }
}
