// The ray fan: one window's fan of 108 light rays, shaped by its rectangle, lit at
// a brightness and rippled by the ray phase. The frame, the glows and the order of
// the fans are light.h's.
#pragma once

#include "render/rasterizer.h"

#include <cstdint>

inline constexpr float GLOW_DECAY = 0.04f;        // glow lost per unit of frame_step
inline constexpr float BRIGHTNESS_SCALE = 233.0f; // glow 1.0 to brightness 233
inline constexpr int32_t FIRST_RAY = 12;
inline constexpr int32_t LAST_RAY = 119;
inline constexpr int32_t FAN_RAYS = LAST_RAY - FIRST_RAY + 1; // 108 triangles
inline constexpr int32_t RIM_POINTS = FAN_RAYS + 1;           // rim points 12..120

// Brightness is held to this at most: far past the ramp's 255, and low enough that
// the apex shade, at most S + 1, stays inside the rasterizer's corner range.
inline constexpr int32_t MAX_BRIGHTNESS = 1 << 22;
static_assert(MAX_BRIGHTNESS + 1 < CORNER_LIMIT);

// A window's rectangle as the census holds it, after the frame inflation.
struct WindowBox {
    int32_t left;   // screen pixels
    int32_t top;    // screen pixels
    int32_t right;  // screen pixels, the first column right of the window
    int32_t bottom; // screen pixels, the first row below the window
};

// The virtual screen as measured at start-up.
struct ScreenBox {
    int32_t x;      // left edge, screen pixels
    int32_t y;      // top edge, screen pixels
    int32_t width;  // pixels
    int32_t height; // rows
};

// One window's fan in frame-buffer pixels (columns from the left edge of the
// virtual screen, rows from its bottom row).
struct FanShape {
    int32_t apex_x;        // X0: column of the apex, vh / 8 left of the window
    int32_t apex_y;        // row of the apex, vh + 149: 150 rows above the top row
    int32_t reach_x;       // A: horizontal reach of the rim, pixels
    int32_t reach_y;       // B: vertical reach of the rim, pixels
    int32_t screen_height; // vh, rows
    bool drawable;         // false when a number of the fan leaves 32 bits
};

// The fan of a window on the screen. Formed in 64 bits: equal to the 32-bit
// formulas wherever those are defined, and not drawable where they are not (absurd
// rectangles far off the screen).
FanShape fan_shape(const WindowBox &window, const ScreenBox &screen);

// Brightness S = trunc(glow x 233), held to 0..MAX_BRIGHTNESS; a glow whose product
// is not finite (NaN, infinity) gives 0.
int32_t fan_brightness(float glow);

// The wobble of every rim point for one ray phase: it moves rim point k in and out
// by trunc(64 sin(k pi / 16 + phase)) pixels, 0 for a phase that is not a number.
struct FanWobble {
    int32_t at[RIM_POINTS]; // pixels, -64..64; entry i is rim point FIRST_RAY + i
};

// The wobbles of the phase: 109 sines, the same for every fan of a frame.
FanWobble fan_wobble(float phase);

// Sets up the triangles of a fan's rays in drawing order, each as fill_triangle
// would take it, and returns how many of them draw something (at most FAN_RAYS).
// Each rim point is computed once for the two rays that share it. Called by
// render_light.
int32_t plan_fan(const FanShape &fan, int32_t brightness, const FanWobble &wobble, TriangleWalk walks[]);

// The corners of ray 12..119 (nothing checks the range) in the order the renderer
// stores them: the apex (shade level + 1), the rim point of angle ray x pi / 256
// and that of ray + 1 (shade 1), each moved in and out by its wobble. Returns
// false, leaving corners untouched, when a rim coordinate does not fit in 32 bits;
// such a ray is not drawn. Called by fan_last_ray.
bool fan_ray_corners(const FanShape &fan, int32_t ray, int32_t brightness, const FanWobble &wobble,
                     RayVertex corners[3]);

// The corners of the fan's last ray whose rim points both fit, as the renderer
// stores them. Returns false, leaving corners untouched, when no ray fits. Called
// by render_light.
bool fan_last_ray(const FanShape &fan, int32_t brightness, const FanWobble &wobble, RayVertex corners[3]);
