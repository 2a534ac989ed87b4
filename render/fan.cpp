// The ray fan: one window's fan of light rays, its rim points with their wobble and
// the set-up of its triangles. The frame, the glows and the order of the fans
// belong to light.cpp; each triangle is drawn by rasterizer.cpp.
#include "render/fan.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr float PI = 3.1415927f;
constexpr float WOBBLE_STEP = 0.0625f;    // wobble angle k x pi / 16
constexpr float WOBBLE_AMPLITUDE = 64.0f; // largest change of the reach, pixels
constexpr float FAN_STEP = 0.00390625f;   // ray angle k x pi / 256
constexpr float RIM_OFFSET = 150.0f;      // rows between the apex and the screen's top
constexpr int32_t RISE_END = 20;          // rays below it get a rising shade
constexpr int32_t FALL_START = 113;       // rays from it on get a falling shade
constexpr int32_t APEX_ABOVE = 149;       // apex row above the buffer's top row
constexpr int32_t REACH_BASE = 64;
constexpr int32_t WOBBLE_LIMIT = 64; // |wobble| never exceeds this

// The product of a float and a double sine rounded once to single precision: the
// correctly rounded single-precision sine in all but vanishingly rare cases, and
// the same on every C library whose double sine is accurate.
float sine(float angle)
{
    return static_cast<float>(std::sin(static_cast<double>(angle)));
}

float cosine(float angle)
{
    return static_cast<float>(std::cos(static_cast<double>(angle)));
}

// trunc(value) when it fits in 32 bits; NaN and values outside give false.
bool truncate(float value, int32_t &result)
{
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) {
        return false;
    }
    result = static_cast<int32_t>(value);
    return true;
}

// The sine and cosine of every ray angle k x pi / 256, k = 12..120. They depend
// on nothing else, so they are computed once, on the first frame.
struct RayAngles {
    float cosine[RIM_POINTS];
    float sine[RIM_POINTS];
    bool ready;
};

RayAngles ray_angles;

const RayAngles &angles()
{
    if (!ray_angles.ready) {
        for (int32_t i = 0; i < RIM_POINTS; ++i) {
            const float angle = (static_cast<float>(FIRST_RAY + i) * PI) * FAN_STEP;
            ray_angles.cosine[i] = cosine(angle);
            ray_angles.sine[i] = sine(angle);
        }
        ray_angles.ready = true;
    }
    return ray_angles;
}

int32_t wobble_of(int32_t k, float phase)
{
    // A phase that is not a number moves nothing: the rim keeps its mean reach.
    int32_t wobble = 0;
    truncate(WOBBLE_AMPLITUDE * sine((static_cast<float>(k) * PI) * WOBBLE_STEP + phase), wobble);
    return wobble;
}

// The rim point of ray index k moved by wobble. False when a coordinate leaves 32 bits.
bool rim_point(const FanShape &fan, int32_t k, int32_t wobble, RayVertex &rim)
{
    const RayAngles &table = angles();
    const int32_t i = k - FIRST_RAY;
    const float column = table.cosine[i] * static_cast<float>(fan.reach_x + wobble) + static_cast<float>(fan.apex_x);
    const float depth = table.sine[i] * static_cast<float>(fan.reach_y + wobble) - RIM_OFFSET;
    int32_t x = 0;
    int32_t down = 0;
    if (!truncate(column, x) || !truncate(depth, down)) {
        return false;
    }
    const int64_t row = static_cast<int64_t>(fan.screen_height) - down - 1;
    if (!fits_32(row)) {
        return false;
    }
    rim = RayVertex{x, static_cast<int32_t>(row), 1};
    return true;
}

// The running sums rise and fall reach 107 x S, far past the corner range at the
// largest brightness. ray_level forms no such sum: its products stay below 8 x S,
// inside 32 bits, and its levels at most S.
static_assert(static_cast<int64_t>(RISE_END - 1 - FIRST_RAY) * MAX_BRIGHTNESS <= INT32_MAX);
static_assert(static_cast<int64_t>(LAST_RAY - FALL_START) * MAX_BRIGHTNESS <= INT32_MAX);

// Shade level of a ray: rising over the first eight rays, S in the middle, falling
// over the last seven. Equal to the running sums rise / 8 and fall / 8.
int32_t ray_level(int32_t ray, int32_t brightness)
{
    if (ray < RISE_END) {
        return (ray - FIRST_RAY) * brightness / 8;
    }
    if (ray < FALL_START) {
        return brightness;
    }
    return (LAST_RAY - ray) * brightness / 8;
}

// The apex of a ray: shade level + 1.
RayVertex apex_of(const FanShape &fan, int32_t ray, int32_t brightness)
{
    return RayVertex{fan.apex_x, fan.apex_y, ray_level(ray, brightness) + 1};
}

} // namespace

FanShape fan_shape(const WindowBox &window, const ScreenBox &screen)
{
    const int64_t left = static_cast<int64_t>(window.left) - screen.x;
    const int64_t top = static_cast<int64_t>(window.top) - screen.y;
    const int64_t width = static_cast<int64_t>(window.right) - window.left;
    const int64_t height = static_cast<int64_t>(window.bottom) - window.top;
    // The apex's offset follows the screen's height, not its width.
    const int64_t apex_x = left - screen.height / 8;
    const int64_t apex_y = static_cast<int64_t>(screen.height) + APEX_ABOVE;
    const int64_t reach_x = width / 3 + screen.width / 7 + REACH_BASE;
    const int64_t reach_y = top / 4 + height / 3 + screen.height / 3 + REACH_BASE;

    FanShape fan{};
    fan.drawable = fits_32(apex_x) && fits_32(apex_y) && fits_32(reach_x - WOBBLE_LIMIT) &&
                   fits_32(reach_x + WOBBLE_LIMIT) && fits_32(reach_y - WOBBLE_LIMIT) &&
                   fits_32(reach_y + WOBBLE_LIMIT);
    if (fan.drawable) {
        fan.apex_x = static_cast<int32_t>(apex_x);
        fan.apex_y = static_cast<int32_t>(apex_y);
        fan.reach_x = static_cast<int32_t>(reach_x);
        fan.reach_y = static_cast<int32_t>(reach_y);
        fan.screen_height = screen.height;
    }
    return fan;
}

int32_t fan_brightness(float glow)
{
    const float product = glow * BRIGHTNESS_SCALE;
    if (!(product >= 0.0f && product <= std::numeric_limits<float>::max())) {
        return 0;
    }
    if (product >= static_cast<float>(MAX_BRIGHTNESS)) {
        return MAX_BRIGHTNESS;
    }
    return static_cast<int32_t>(product);
}

FanWobble fan_wobble(float phase)
{
    FanWobble wobble;
    for (int32_t i = 0; i < RIM_POINTS; ++i) {
        wobble.at[i] = wobble_of(FIRST_RAY + i, phase);
    }
    return wobble;
}

int32_t plan_fan(const FanShape &fan, int32_t brightness, const FanWobble &wobble, TriangleWalk walks[])
{
    if (!fan.drawable) {
        return 0;
    }
    RayVertex rims[RIM_POINTS];
    bool fits[RIM_POINTS];
    for (int32_t i = 0; i < RIM_POINTS; ++i) {
        fits[i] = rim_point(fan, FIRST_RAY + i, wobble.at[i], rims[i]);
    }
    int32_t planned = 0;
    for (int32_t i = 0; i < FAN_RAYS; ++i) {
        // The rasterizer takes the apex, the far rim point, then the near one:
        // counter-clockwise on the screen.
        if (fits[i] && fits[i + 1] &&
            plan_triangle(apex_of(fan, FIRST_RAY + i, brightness), rims[i + 1], rims[i], walks[planned])) {
            ++planned;
        }
    }
    return planned;
}

bool fan_ray_corners(const FanShape &fan, int32_t ray, int32_t brightness, const FanWobble &wobble,
                     RayVertex corners[3])
{
    const int32_t i = ray - FIRST_RAY;
    RayVertex near_rim, far_rim;
    if (!rim_point(fan, ray, wobble.at[i], near_rim) || !rim_point(fan, ray + 1, wobble.at[i + 1], far_rim)) {
        return false;
    }
    corners[0] = apex_of(fan, ray, brightness);
    corners[1] = near_rim;
    corners[2] = far_rim;
    return true;
}

bool fan_last_ray(const FanShape &fan, int32_t brightness, const FanWobble &wobble, RayVertex corners[3])
{
    if (!fan.drawable) {
        return false;
    }
    for (int32_t ray = LAST_RAY; ray >= FIRST_RAY; --ray) {
        if (fan_ray_corners(fan, ray, brightness, wobble, corners)) {
            return true;
        }
    }
    return false;
}
