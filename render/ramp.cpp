// The light ramp and the span filler: the innermost layer of the light rendering.
// Triangles come from rasterizer.cpp; the frame buffer and its clear belong to host/.
#include "render/ramp.h"

#include "host/frame.h"

#include <cstddef>
#include <cstdint>

LightRamp light_ramp;

namespace {

constexpr float GREEN_SHARE = 0.85f;
constexpr float BLUE_SHARE = 0.2f;

// Writes count pixels from out on, the shade starting at s and growing by step,
// every index clamped into the table. Used only for the few spans whose shade
// leaves the ramp; 64-bit, so no step or length can make the sum wrap.
void fill_clamped(uint32_t *out, int64_t count, int64_t s, int32_t step)
{
    for (int64_t k = 0; k < count; ++k) {
        int64_t index = s >> FIXED_SHIFT;
        if (index < 0) {
            index = 0;
        } else if (index > RAMP_SIZE - 1) {
            index = RAMP_SIZE - 1;
        }
        out[k] = light_ramp.entries[index];
        s += step;
    }
}

} // namespace

void build_light_ramp()
{
    for (int32_t e = 0; e < RAMP_SIZE; ++e) {
        // Single-precision products truncated toward zero; for 0..255 they equal
        // 85e/100 and e/5 exactly.
        uint32_t green = static_cast<uint32_t>(static_cast<int32_t>(GREEN_SHARE * static_cast<float>(e)));
        uint32_t blue = static_cast<uint32_t>(static_cast<int32_t>(BLUE_SHARE * static_cast<float>(e)));
        uint32_t level = static_cast<uint32_t>(e);
        light_ramp.entries[e] = (level << 24) | (level << 16) | (green << 8) | blue;
    }
}

void fill_span(const RayVertex &left, const RayVertex &right, int32_t step)
{
    const int32_t row = left.y;
    if (row < 0 || row >= raster_target.height) {
        return;
    }
    const int32_t first_column = left.x >> FIXED_SHIFT;
    const int32_t end_column = right.x >> FIXED_SHIFT;
    const int32_t first = first_column > 0 ? first_column : 0;
    const int32_t end = end_column < raster_target.width ? end_column : raster_target.width;
    if (first >= end) {
        return;
    }

    // Columns cut off on the left still advance the shade. The shades of the
    // first and the last pixel written are formed in 64 bits; the shade is
    // linear along the span, so when both lie inside the ramp every pixel does.
    const int64_t first_shade = left.shade + static_cast<int64_t>(first - first_column) * step;
    const int64_t last_shade = first_shade + static_cast<int64_t>(end - 1 - first) * step;
    const int64_t top = (static_cast<int64_t>(RAMP_SIZE) << FIXED_SHIFT) - 1;
    uint32_t *out = raster_target.pixels + static_cast<ptrdiff_t>(row) * raster_target.width + first;
    if (first_shade < 0 || first_shade > top || last_shade < 0 || last_shade > top) {
        fill_clamped(out, end - first, first_shade, step);
        return;
    }

    // The running sum is unsigned: every shade read lies inside the ramp, and the
    // one addition after the last pixel may wrap harmlessly.
    const uint32_t *ramp = light_ramp.entries;
    uint32_t *const stop = out + (end - first);
    uint32_t shade = static_cast<uint32_t>(first_shade);
    const uint32_t increment = static_cast<uint32_t>(step);
    while (out != stop) {
        *out++ = ramp[shade >> FIXED_SHIFT];
        shade += increment;
    }
}
