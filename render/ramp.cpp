// The light ramp: the table of the 256 premultiplied pixels a shade can become.
// The spans that write its entries belong to span.cpp.
#include "render/ramp.h"

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
        // 85e/100 and e/5 exactly. ramp_block (span_run.h) computes the same
        // entries as multiply-highs: change both.
        uint32_t green = static_cast<uint32_t>(static_cast<int32_t>(GREEN_SHARE * static_cast<float>(e)));
        uint32_t blue = static_cast<uint32_t>(static_cast<int32_t>(BLUE_SHARE * static_cast<float>(e)));
        uint32_t level = static_cast<uint32_t>(e);
        light_ramp.entries[e] = (level << 24) | (level << 16) | (green << 8) | blue;
    }
}
