// The program's process-wide records in tests: reset_program_state puts them all
// back to their state at process start, so each test on the simulated desktop
// begins as a freshly started program would; ProgramStateGuard keeps the ones the
// unit tests set by hand and puts them back afterwards.
#pragma once

#include "host/clock.h"
#include "host/frame.h"
#include "host/overlay.h"
#include "host/watch.h"
#include "render/ramp.h"
#include "render/rasterizer.h"
#include "tracking/census.h"
#include "tracking/glow.h"

// Every record as at process start. Heap blocks the program took are not freed
// here (on the simulated desktop sim::reset does that).
inline void reset_program_state()
{
    screen_geometry = {};
    desktop_window = nullptr;
    overlay_window = nullptr;
    watch_thread = {};
    frame_buffer = {};
    raster_target = {};
    presentation_surface = {};
    frame_clock = {};
    frame_step = 1.0f;
    last_foreground = nullptr;
    scene_changed = 0;
    ray_phase = 0.0f;
    watch_state = {};
    window_census.count = 0;
    glow_table = {};
    light_ramp = {};
    for (RayVertex &v : ray_vertices) v = {};
}

// Saves the screen, the frame buffer and its raster target, the frame step, the
// ray phase, the desktop window and the census count when made, and restores them
// when it goes. The glow table is left as the test leaves it: its entries are
// heap blocks that only the table still reaches.
class ProgramStateGuard {
public:
    ProgramStateGuard() = default;
    ~ProgramStateGuard()
    {
        screen_geometry = screen_;
        frame_buffer = frame_;
        raster_target = target_;
        frame_step = step_;
        ray_phase = phase_;
        desktop_window = desktop_;
        window_census.count = census_count_;
    }
    ProgramStateGuard(const ProgramStateGuard &) = delete;
    ProgramStateGuard &operator=(const ProgramStateGuard &) = delete;

private:
    ScreenGeometry screen_ = screen_geometry;
    FrameBuffer frame_ = frame_buffer;
    RasterTarget target_ = raster_target;
    float step_ = frame_step;
    float phase_ = ray_phase;
    HWND desktop_ = desktop_window;
    int32_t census_count_ = window_census.count;
};
