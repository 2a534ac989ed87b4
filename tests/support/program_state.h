// Puts every process-wide record of the program back to its state at process
// start, so each test begins as a freshly started program would. Heap blocks the
// program took are not freed here (on the simulated desktop sim::reset does that).
#pragma once

#include "host/clock.h"
#include "host/frame.h"
#include "host/overlay.h"
#include "host/watch.h"
#include "render/ramp.h"
#include "render/rasterizer.h"
#include "tracking/census.h"
#include "tracking/glow.h"

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
    for (RayVertex &v : ray_vertices)
        v = {};
}
