// A plain renderer of whole frames for the tests, written from the drawing rules
// and sharing no code with render/: its own ramp, span filler, rasterizer and
// fans, drawing into its own pixels and decaying a copy of the glows. The tests
// compare render_light with it to the bit.
#pragma once

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

// Renders one frame of the scene that render_light would see: screen_geometry,
// window_census, desktop_window, frame_step, ray_phase and the glow table, whose
// glows it copies and decays in the copy. had_storage says whether the frame
// buffer's storage exists before the call; without it a screen whose byte count
// fits a signed 32-bit integer gets one, and any other gets none.
Frame render_frame(bool had_storage);

} // namespace reference
