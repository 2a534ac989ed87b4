// The ray fan renderer: one complete frame, a fan of 108 light rays for every
// censused window at the brightness of its decaying glow.
#pragma once

#include "host/overlay.h"
#include "render/rasterizer_types.h"

#include <windows.h>

#include <cstdint>

inline constexpr float GLOW_DECAY = 0.04f;        // glow lost per unit of frame_step
inline constexpr float BRIGHTNESS_SCALE = 233.0f; // glow 1.0 to brightness 233
inline constexpr int32_t FIRST_RAY = 12;
inline constexpr int32_t LAST_RAY = 119;

// Brightness is held to this at most: far past the ramp's 255, and low enough that
// 107 x S and the apex shade S + 1 stay inside the rasterizer's corner range.
inline constexpr int32_t MAX_BRIGHTNESS = 1 << 22;

// One window's fan in frame-buffer pixels (columns from the left edge of the
// virtual screen, rows from its bottom row).
struct FanShape {
    int32_t apex_x;        // X0: column of the apex, vh / 8 left of the window
    int32_t apex_y;        // row of the apex, vh + 149: 150 rows above the top row
    int32_t reach_x;       // A: horizontal reach of the rim, pixels
    int32_t reach_y;       // B: vertical reach of the rim, pixels
    int32_t screen_height; // vh, rows
    int32_t drawable;      // 1, or 0 when a number of the fan leaves 32 bits
};

// The fan of a window rectangle (screen coordinates, already inflated). Formed in
// 64 bits: equal to the 32-bit formulas wherever those are defined, and not
// drawable where they are not (absurd rectangles far off the screen).
FanShape fan_shape(const RECT &rect, const ScreenGeometry &screen);

// Brightness S = trunc(glow x 233), held to 0..MAX_BRIGHTNESS; a glow whose product
// is not finite (NaN, infinity) gives 0.
int32_t fan_brightness(float glow);

// The corners of ray 12..119 in the order the renderer stores them: the apex (shade
// level + 1), the rim point of angle ray x pi / 256 and that of ray + 1 (shade 1),
// the rim moved in and out by the wobble of phase. Returns false, leaving corners
// untouched, when a rim coordinate does not fit in 32 bits; such a ray is not drawn.
bool fan_ray_vertices(const FanShape &fan, int32_t ray, int32_t brightness, float phase,
                      RayVertex corners[3]);

// Rebuilds the ramp, clears the frame buffer, decays every censused window's glow by
// one step and draws each window's fan, lowest window first, so a higher window's
// fan covers a lower one's. A frame in which no window kept a glow ends cleared.
// A glow that is not a finite number after the decay is set to 0.0 like a negative
// one. Allocates nothing once the frame buffer and the glow entries exist.
// Called by the watch loop when the scene changed.
void render_light();
