// The warm light ramp that turns a shade into a finished premultiplied pixel. The
// spans that write its entries into the frame buffer are span.h's.
#pragma once

#include <cstdint>

inline constexpr int32_t RAMP_SIZE = 256;

// The largest shade, 8.8, that still indexes the ramp.
inline constexpr int32_t RAMP_TOP_SHADE = (RAMP_SIZE << 8) - 1;

// Entry e: alpha e, red e, green 85e/100, blue e/5, already premultiplied.
struct LightRamp {
    uint32_t entries[RAMP_SIZE];
};

extern LightRamp light_ramp;

// Writes all 256 entries. Called by render_light at the start of every frame.
void build_light_ramp();
