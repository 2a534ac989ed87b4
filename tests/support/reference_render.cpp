// The reference renderer: every rule of the light rendering written as plainly as
// it goes, in 64-bit integers wherever the program's 32-bit quantities could leave
// them, and with the program's own answers where the rules leave a case open.
// It reads the program's records (screen, census, clock, glows) and writes its own;
// its triangles and spans also note where a 32-bit sum or product would overflow.
#include "reference_render.h"

#include "host/clock.h"
#include "host/overlay.h"
#include "host/watch.h"
#include "tracking/census.h"
#include "tracking/glow.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace reference {
namespace {

const int FIXED = 8;                    // 8.8 fixed point: v << 8
const int64_t CORNER_RANGE = 1 << 23;   // corners whose 8.8 form fits 32 bits
const int64_t BRIGHTNESS_CAP = 1 << 22; // brightness is held to this
const int64_t WOBBLE_REACH = 64;        // the wobble's largest change of a reach
const float PI = 3.1415927f;
const float FLOAT_MAX = std::numeric_limits<float>::max();

bool in_32(int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX;
}

// The pixels one frame, triangle or span draws into, its ramp, and what the
// drawing met on the way.
struct Canvas {
    int64_t width, height;
    std::vector<uint32_t> &pixels;
    const uint32_t *ramp;
    bool fits_32 = true;  // every quantity the rules hold in 32 bits has fitted so far
    bool dropped = false; // a triangle was left out for a corner or a step out of range
};

// Notes whether the quantities just computed fit 32 bits.
void note(Canvas &canvas, bool fits)
{
    canvas.fits_32 = canvas.fits_32 && fits;
}

// One edge from its start corner: 8.8 column and shade there, and their steps per row.
struct Edge {
    int64_t x, shade, row, x_step, shade_step;
};

void build_ramp(uint32_t ramp[256])
{
    for (int e = 0; e < 256; ++e) {
        const uint32_t green = static_cast<uint32_t>(0.85f * static_cast<float>(e));
        const uint32_t blue = static_cast<uint32_t>(0.2f * static_cast<float>(e));
        ramp[e] = static_cast<uint32_t>(e) << 24 | static_cast<uint32_t>(e) << 16 | green << 8 | blue;
    }
}

// Columns (left_x >> 8) to (right_x >> 8) - 1 of the row, pixel by pixel: column c
// gets the entry of (left_shade + (c - first column) x step) >> 8, an index
// outside the ramp taking the nearest entry.
void reference_span(Canvas &canvas, int64_t row, int64_t left_x, int64_t left_shade, int64_t right_x, int64_t step)
{
    if (row < 0 || row >= canvas.height) {
        return;
    }
    const int64_t first = left_x >> FIXED;
    const int64_t end = right_x >> FIXED;
    for (int64_t c = std::max<int64_t>(first, 0); c < end && c < canvas.width; ++c) {
        const int64_t offset = (c - first) * step;
        note(canvas, in_32(offset) && in_32(left_shade + offset));
        const int64_t index = std::clamp<int64_t>((left_shade + offset) >> FIXED, 0, 255);
        canvas.pixels[static_cast<size_t>(row * canvas.width + c)] = canvas.ramp[index];
    }
}

// The walk from one corner to another; false when a step does not fit 32 bits.
// Its start, its end and its steps' numerators are noted.
bool set_up(Canvas &canvas, Edge &edge, const Corner &from, const Corner &to)
{
    const int64_t rows = to.y - from.y;
    edge = Edge{from.x << FIXED, from.shade << FIXED, from.y, 0, 0};
    if (rows > 0) {
        edge.x_step = ((to.x - from.x) << FIXED) / rows;
        edge.shade_step = ((to.shade - from.shade) << FIXED) / rows;
    }
    note(canvas, in_32(edge.x) && in_32(edge.shade) && in_32(edge.x + rows * edge.x_step) &&
                     in_32(edge.shade + rows * edge.shade_step) && in_32((to.x - from.x) << FIXED) &&
                     in_32((to.shade - from.shade) << FIXED));
    return in_32(edge.x_step) && in_32(edge.shade_step);
}

bool corner_fits(const Corner &p)
{
    const auto fits = [](int64_t v) { return v >= -CORNER_RANGE && v < CORNER_RANGE; };
    return fits(p.x) && fits(p.y) && fits(p.shade);
}

// The triangle a, b, c: lowest corner first, the winding test, one shade gradient,
// and every row from the lowest corner up to the top corner's row - 1 as one span
// whose ends stand where k single steps from their start corner put them. Rows
// outside the canvas would write nothing and are not visited; a triangle wholly
// above or below it is not set up.
void reference_triangle(Canvas &canvas, const Corner &a, const Corner &b, const Corner &c)
{
    Corner p0 = a, p1 = b, p2 = c;
    const Corner *lowest = a.y <= b.y ? &a : &b;
    if (c.y < lowest->y) {
        lowest = &c;
    }
    if (lowest == &b) {
        p0 = b, p1 = c, p2 = a;
    } else if (lowest == &c) {
        p0 = c, p1 = a, p2 = b;
    }
    // First: beyond the range even 64-bit products could overflow, and the 8.8
    // form of a corner would not fit 32 bits.
    if (!corner_fits(p0) || !corner_fits(p1) || !corner_fits(p2)) {
        canvas.dropped = true;
        note(canvas, false);
        return;
    }
    const int64_t t1 = (p1.x - p0.x) * (p2.y - p0.y), t2 = (p2.x - p0.x) * (p1.y - p0.y);
    note(canvas, in_32(t1) && in_32(t2) && in_32(t1 - t2));
    const int64_t area2 = t1 - t2;
    if (area2 <= 0) {
        return;
    }
    const int64_t g1 = (p1.shade - p0.shade) * (p2.y - p0.y), g2 = (p0.shade - p2.shade) * (p1.y - p0.y);
    note(canvas, in_32(g1) && in_32(g2) && in_32(g1 + g2) && in_32((g1 + g2) << FIXED));
    const int64_t step = ((g1 + g2) << FIXED) / area2;
    const bool middle_left = p1.y > p2.y;
    const Corner &top = middle_left ? p1 : p2;
    const Corner &middle = middle_left ? p2 : p1;
    if (p0.y >= canvas.height || top.y <= 0) {
        return;
    }
    Edge long_edge, lower, upper;
    const bool long_fits = set_up(canvas, long_edge, p0, top);
    const bool lower_fits = set_up(canvas, lower, p0, middle);
    const bool upper_fits = set_up(canvas, upper, middle, top);
    if (!in_32(step) || !long_fits || !lower_fits || !upper_fits) {
        canvas.dropped = true;
        return;
    }
    for (int64_t row = std::max<int64_t>(p0.y, 0); row < std::min(top.y, canvas.height); ++row) {
        const Edge &short_edge = row < middle.y ? lower : upper;
        const Edge &left = middle_left ? short_edge : long_edge;
        const Edge &right = middle_left ? long_edge : short_edge;
        reference_span(canvas, row, left.x + (row - left.row) * left.x_step,
                       left.shade + (row - left.row) * left.shade_step, right.x + (row - right.row) * right.x_step,
                       step);
    }
}

// The sine the program uses, a double one rounded to single precision: a pixel-exact
// comparison needs the same one, since another accurate sine can move a vertex
// where a value lies within an ulp of a whole number.
float sine(float angle)
{
    return static_cast<float>(std::sin(static_cast<double>(angle)));
}

float cosine(float angle)
{
    return static_cast<float>(std::cos(static_cast<double>(angle)));
}

// trunc(value) when it lies in the 32-bit range; NaN and values outside give false.
bool truncate_32(float value, int64_t &result)
{
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) {
        return false;
    }
    result = static_cast<int32_t>(value);
    return true;
}

float to_float(int64_t value_32)
{
    return static_cast<float>(static_cast<int32_t>(value_32));
}

// One window's fan, in frame-buffer pixels.
struct Fan {
    int64_t apex_x, apex_y, reach_x, reach_y, screen_height;
};

// The fan of a rectangle; false when a number of it, wobble included, leaves 32 bits.
bool fan_of(const RECT &rect, const ScreenGeometry &screen, Fan &fan)
{
    const int64_t left = static_cast<int64_t>(rect.left) - screen.x;
    const int64_t top = static_cast<int64_t>(rect.top) - screen.y;
    const int64_t width = static_cast<int64_t>(rect.right) - rect.left;
    const int64_t height = static_cast<int64_t>(rect.bottom) - rect.top;
    fan.apex_x = left - screen.height / 8;
    fan.apex_y = static_cast<int64_t>(screen.height) + 149;
    fan.reach_x = width / 3 + screen.width / 7 + 64;
    fan.reach_y = top / 4 + height / 3 + screen.height / 3 + 64;
    fan.screen_height = screen.height;
    return in_32(fan.apex_x) && in_32(fan.apex_y) && in_32(fan.reach_x - WOBBLE_REACH) &&
           in_32(fan.reach_x + WOBBLE_REACH) && in_32(fan.reach_y - WOBBLE_REACH) && in_32(fan.reach_y + WOBBLE_REACH);
}

// The rim point of ray index k; false when its column or row leaves 32 bits.
bool rim_point(const Fan &fan, int32_t k, float phase, Corner &rim)
{
    int64_t wobble = 0; // a phase that is not a number leaves the reach as it is
    truncate_32(64.0f * sine((static_cast<float>(k) * PI) * 0.0625f + phase), wobble);
    const float angle = (static_cast<float>(k) * PI) * 0.00390625f;
    int64_t x = 0, down = 0;
    if (!truncate_32(cosine(angle) * to_float(fan.reach_x + wobble) + to_float(fan.apex_x), x) ||
        !truncate_32(sine(angle) * to_float(fan.reach_y + wobble) - 150.0f, down)) {
        return false;
    }
    rim = Corner{x, fan.screen_height - down - 1, 1};
    return in_32(rim.y);
}

// Every ray writes its corners before it is drawn; a ray whose rim leaves 32 bits
// writes none.
void write_corners(Frame &frame, const Corner (&corners)[3])
{
    frame.wrote_corners = true;
    for (int v = 0; v < 3; ++v) {
        frame.corners[v][0] = static_cast<int32_t>(corners[v].x);
        frame.corners[v][1] = static_cast<int32_t>(corners[v].y);
        frame.corners[v][2] = static_cast<int32_t>(corners[v].shade);
    }
}

void draw_fan(Canvas &canvas, Frame &frame, const RECT &rect, int64_t brightness, float phase)
{
    Fan fan;
    if (!fan_of(rect, screen_geometry, fan)) {
        return;
    }
    int64_t rise = 0, fall = 107 * brightness;
    for (int32_t ray = 12; ray <= 119; ++ray) {
        const int64_t level = ray < 20 ? rise / 8 : (ray <= 112 ? brightness : fall / 8);
        Corner near_rim, far_rim;
        if (rim_point(fan, ray, phase, near_rim) && rim_point(fan, ray + 1, phase, far_rim)) {
            const Corner corners[3] = {Corner{fan.apex_x, fan.apex_y, level + 1}, near_rim, far_rim};
            write_corners(frame, corners);
            // Vertices 0, 2, 1: the apex, the far rim point, the near one.
            reference_triangle(canvas, corners[0], corners[2], corners[1]);
        }
        rise += brightness;
        fall -= brightness;
    }
}

// trunc(glow x 233), held to BRIGHTNESS_CAP; 0 when the product is not finite.
int64_t brightness_of(float glow)
{
    const float product = glow * 233.0f;
    if (!(product >= 0.0f && product <= FLOAT_MAX)) {
        return 0;
    }
    return product >= static_cast<float>(BRIGHTNESS_CAP) ? BRIGHTNESS_CAP : static_cast<int64_t>(product);
}

// The glow of window in the copy, appended at 0.0 like a new table entry.
float &glow_of(std::vector<Glow> &glows, HWND window)
{
    for (Glow &g : glows) {
        if (g.window == window) {
            return g.glow;
        }
    }
    glows.push_back(Glow{window, 0.0f});
    return glows.back().glow;
}

// Runs draw on a width x height canvas whose ramp entry e is e, so that its pixels
// are ramp indices; they start at 0xFFFFFFFF, which reads as index -1.
template <typename Draw> Drawing draw_indices(int32_t width, int32_t height, Draw draw)
{
    uint32_t ramp[256];
    for (uint32_t e = 0; e < 256; ++e) {
        ramp[e] = e;
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFFFFFFFFu);
    Canvas canvas{width, height, pixels, ramp};
    draw(canvas);
    return Drawing{std::vector<int32_t>(pixels.begin(), pixels.end()), canvas.dropped, canvas.fits_32};
}

} // namespace

bool storage_fits(const ScreenGeometry &screen)
{
    return screen.width > 0 && screen.height > 0 && static_cast<int64_t>(screen.width) * screen.height * 4 <= INT32_MAX;
}

Drawing draw_triangle(const Corner &a, const Corner &b, const Corner &c, int32_t width, int32_t height)
{
    return draw_indices(width, height, [&](Canvas &canvas) { reference_triangle(canvas, a, b, c); });
}

Drawing draw_span(int64_t row, int64_t left_x, int64_t left_shade, int64_t right_x, int64_t step, int32_t width,
                  int32_t height)
{
    return draw_indices(width, height,
                        [&](Canvas &canvas) { reference_span(canvas, row, left_x, left_shade, right_x, step); });
}

Frame render_frame(bool had_storage)
{
    Frame frame{};
    build_ramp(frame.ramp);
    const ScreenGeometry screen = screen_geometry;
    frame.has_storage = had_storage || storage_fits(screen);
    frame.target_width = frame.has_storage ? screen.width : 0;
    frame.target_height = frame.has_storage ? screen.height : 0;
    if (frame.has_storage && screen.width > 0 && screen.height > 0) {
        frame.pixels.assign(static_cast<size_t>(screen.width) * screen.height, 0u);
    }
    for (const GlowEntry *e = glow_table.head; e; e = e->next) {
        frame.glows.push_back(Glow{e->window, e->glow});
    }

    Canvas canvas{frame.target_width, frame.target_height, frame.pixels, frame.ramp};
    bool dark = true;
    // Lowest window first, so that the fan of a higher window covers a lower one's.
    for (int32_t i = window_census.count - 1; i >= 0; --i) {
        const HWND window = window_census.handles[i];
        if (window == desktop_window) {
            continue;
        }
        float &glow = glow_of(frame.glows, window);
        glow = glow - frame_step * 0.04f;
        if (glow >= 0.0f && glow <= FLOAT_MAX) {
            dark = false;
        } else {
            glow = 0.0f;
        }
        draw_fan(canvas, frame, window_census.rects[i], brightness_of(glow), ray_phase);
    }
    // Fans at brightness 0 still leave shade 1: a frame where no glow was kept is cleared.
    if (dark) {
        std::fill(frame.pixels.begin(), frame.pixels.end(), 0u);
    }
    return frame;
}

} // namespace reference
