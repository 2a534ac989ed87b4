// The light ramp and the span filler: the innermost layer of the light rendering.
// Triangles come from rasterizer.cpp; the frame buffer and its clear belong to host/.
#include "render/ramp.h"

#include "host/frame.h"
#include "render/ramp_run.h"

#include <cstddef>
#include <cstdint>

LightRamp light_ramp;

namespace {

constexpr float GREEN_SHARE = 0.85f;
constexpr float BLUE_SHARE = 0.2f;

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

void fill_clamped_run(uint32_t *out, int64_t count, int64_t shade, int32_t step)
{
    for (int64_t k = 0; k < count; ++k) {
        int64_t index = shade >> FIXED_SHIFT;
        if (index < 0) {
            index = 0;
        } else if (index > RAMP_SIZE - 1) {
            index = RAMP_SIZE - 1;
        }
        out[k] = light_ramp.entries[index];
        shade += step;
    }
}

void fill_ramp_run(uint32_t *out, int32_t count, int32_t shade, int32_t step)
{
    write_run(out, count, shade, run_steps(step), false);
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
    uint32_t *out = raster_target.pixels + static_cast<ptrdiff_t>(row) * raster_target.width + first;
    if (first_shade < 0 || first_shade > RAMP_TOP_SHADE || last_shade < 0 || last_shade > RAMP_TOP_SHADE) {
        fill_clamped_run(out, end - first, first_shade, step);
        return;
    }
    fill_ramp_run(out, end - first, static_cast<int32_t>(first_shade), step);
}
