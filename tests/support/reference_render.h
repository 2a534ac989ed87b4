// A plain renderer for the tests, written from the drawing rules and sharing no
// code with render/: its own ramp, span filler, rasterizer and fans, drawing into
// its own pixels and decaying a copy of the glows. The fan reference tests compare
// render_light with its frames to the bit, the rasterizer's fuzz test fill_span
// and fill_triangle with its spans and triangles.
#pragma once

#include "host/overlay.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace reference {

struct Glow {
    HWND window; // the glow table's key
    float glow;  // as the table holds it, any float
};

// What one frame leaves behind.
struct Frame {
    bool has_storage;             // a frame buffer exists after the call
    int32_t target_width;         // the raster target's width: the screen's, or 0 without storage
    int32_t target_height;        // likewise its height
    std::vector<uint32_t> pixels; // screen width x height, bottom-up; empty without storage
    std::vector<Glow> glows;      // the glow table in its order, with the entries the frame adds
    uint32_t ramp[256];           // the light ramp
    bool wrote_corners;           // some ray wrote its corners; otherwise they are as before
    int32_t corners[3][3];        // the last ray's apex, near and far rim point: x, y, shade
};

// A triangle corner: whole pixels, whole rows (bottom-up) and a shade in ramp
// entries, any 64-bit numbers.
struct Corner {
    int64_t x, y, shade;
};

// What the rasterizer must make of one triangle or span on a width x height target.
struct Drawing {
    std::vector<int32_t> index; // each pixel's ramp index, rows bottom-up; -1 where none is written
    bool dropped;               // left out: a corner or a step beyond the rasterizer's range
    bool fits_32;               // every quantity the rules hold in 32 bits fits in them
};

// fill_triangle of the corners a, b, c in this order (the winding decides).
Drawing draw_triangle(const Corner &a, const Corner &b, const Corner &c, int32_t width, int32_t height);

// fill_span on one row: 8.8 ends left_x and right_x (half-open), an 8.8 shade at
// left_x and its step per column. A row outside the target draws nothing.
Drawing draw_span(int64_t row, int64_t left_x, int64_t left_shade, int64_t right_x, int64_t step, int32_t width,
                  int32_t height);

// Whether a frame buffer's storage is made for the screen: it has pixels, and
// their byte count fits a signed 32-bit integer.
bool storage_fits(const ScreenGeometry &screen);

// Renders one frame of the scene that render_light would see: screen_geometry,
// window_census, desktop_window, frame_step, ray_phase and the glow table, whose
// glows it copies and decays in the copy. had_storage says whether the frame
// buffer's storage exists before the call; without it a screen whose byte count
// fits a signed 32-bit integer gets one, and any other gets none.
Frame render_frame(bool had_storage);

} // namespace reference
