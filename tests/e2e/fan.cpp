// Where light may fall: the geometry of a window's fan, the windows that may carry
// one, and the checks of a capture during light (every lit pixel a ramp entry
// within some fan, and a given fan lit throughout).

#include "probe.h"

#include <cmath>

constexpr int APEX_ROWS_ABOVE = 150; // the fan's apex lies this far above the top
constexpr int WOBBLE = 64;           // the fan's rim moves in and out by this much
constexpr int FAN_MARGIN = 8;        // pixels of slack at a predicted fan edge: rounding, the
                                     // 5-pixel frame inflation some windows get
constexpr double PI = 3.14159265358979;
constexpr double SEAM_SHARE = 0.01;               // of a fan's surely lit pixels that may lie in one-pixel seams
constexpr double FAN_FIRST_ANGLE = 12 * PI / 256; // rim parameter of the first ray's edge
constexpr double FAN_LAST_ANGLE = 120 * PI / 256; // rim parameter of the last ray's edge

// Where light may fall. A window's fan spreads down and to the right from an apex
// 150 rows above the top of the virtual screen and height/8 columns left of the
// window's left edge, out to the rim points (cos a * (A + w), sin a * (B + w)) for
// rim parameters a from 12*pi/256 to 120*pi/256, where the wobble w stays within
// 64 pixels either way.

Fan fan_of(RECT rect, Region screen)
{
    int32_t left = rect.left - screen.x, top = rect.top - screen.y;
    int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
    Fan fan;
    fan.apex_x = left - screen.height / 8;
    fan.apex_y = -APEX_ROWS_ABOVE;
    fan.reach_x = width / 3 + screen.width / 7 + 64;
    fan.reach_y = top / 4 + height / 3 + screen.height / 3 + 64;
    return fan;
}

namespace {

// The direction from the apex, below the horizontal, of the rim point with rim
// parameter angle: the rim is an ellipse, so this is steeper than the parameter.
double rim_direction(const Fan &fan, double angle, double wobble)
{
    return std::atan2(std::sin(angle) * (fan.reach_y + wobble), std::cos(angle) * (fan.reach_x + wobble));
}

// How far inside a fan a pixel's centre lies, in pixels (negative: outside). The
// outer bound is the largest fan the wobble can make, the inner bound the
// smallest: the rim ellipse with radii widened or narrowed by the wobble, and the
// two straight edges at their widest or narrowest directions.
double depth_in_fan(const Fan &fan, double x, double y, bool outer)
{
    double wobble = outer ? WOBBLE : -WOBBLE;
    double dx = x + 0.5 - fan.apex_x, dy = y + 0.5 - fan.apex_y;
    double distance = std::sqrt(dx * dx + dy * dy);
    double direction = std::atan2(dy, dx);
    // Whether a wider rim turns an edge up or down depends on which radius is the
    // larger, so both ends of the wobble are tried.
    double first_a = rim_direction(fan, FAN_FIRST_ANGLE, WOBBLE);
    double first_b = rim_direction(fan, FAN_FIRST_ANGLE, -WOBBLE);
    double last_a = rim_direction(fan, FAN_LAST_ANGLE, WOBBLE);
    double last_b = rim_direction(fan, FAN_LAST_ANGLE, -WOBBLE);
    double first = outer ? std::fmin(first_a, first_b) : std::fmax(first_a, first_b);
    double last = outer ? std::fmax(last_a, last_b) : std::fmin(last_a, last_b);
    double side = distance * std::sin(std::fmin(direction - first, last - direction));
    double rx = fan.reach_x + wobble, ry = fan.reach_y + wobble;
    double rim = 1.0 / std::sqrt(std::pow(std::cos(direction) / rx, 2) + std::pow(std::sin(direction) / ry, 2));
    return std::fmin(side, rim - distance);
}

struct LightReport {
    int64_t lit = 0;        // non-zero pixels
    int64_t not_ramp = 0;   // of them, not a light-ramp entry
    int64_t too_bright = 0; // of them, alpha above MAX_LIGHT_ALPHA
    int64_t stray = 0;      // of them, outside every fan
    int max_alpha = 0;
    int32_t first_x = 0, first_y = 0; // the first pixel that broke a rule
    uint32_t first_pixel = 0;
};

// Checks every pixel of a capture of the whole virtual screen. The session's X
// server reads back the overlay's own pixels wherever it lies (the self-test
// proves it), so every pixel seen here is one the program presented.
LightReport examine_light(const std::vector<Fan> &fans, const Capture &capture)
{
    LightReport report;
    bool noted = false;
    for (int32_t y = 0; y < capture.region.height; y++) {
        for (int32_t x = 0; x < capture.region.width; x++) {
            uint32_t p = capture.pixels[size_t(y) * size_t(capture.region.width) + size_t(x)];
            if (p == 0) continue;
            report.lit++;
            int alpha = int(p >> 24);
            if (alpha > report.max_alpha) report.max_alpha = alpha;
            bool ramp = is_ramp_entry(p), dim = alpha <= MAX_LIGHT_ALPHA;
            bool in_fan = false;
            for (const Fan &fan : fans) in_fan = in_fan || may_be_lit(fan, x, y);
            report.not_ramp += !ramp;
            report.too_bright += !dim;
            report.stray += !in_fan;
            if (!noted && !(ramp && dim && in_fan)) {
                noted = true;
                report.first_x = capture.region.x + x;
                report.first_y = capture.region.y + y;
                report.first_pixel = p;
            }
        }
    }
    return report;
}

void print_fans(const std::vector<Fan> &fans)
{
    for (const Fan &f : fans)
        say("  a fan may fall from apex (%.0f,%.0f) with reach %.0f x %.0f", f.apex_x, f.apex_y, f.reach_x, f.reach_y);
}

bool light_is_sound(const LightReport &r)
{
    say("lit %lld pixels, max alpha %d; not a ramp entry %lld, brighter than %d %lld, "
        "outside every fan %lld",
        r.lit, r.max_alpha, r.not_ramp, MAX_LIGHT_ALPHA, r.too_bright, r.stray);
    if (r.not_ramp || r.too_bright || r.stray) {
        say("FAIL: first offending pixel %08x at (%d,%d)", r.first_pixel, r.first_x, r.first_y);
        return false;
    }
    return true;
}

// Checks that every pixel surely inside a fan and outside its hidden rectangle
// is lit, in a capture of the whole virtual screen. A dark pixel between two lit
// ones in its row is a seam: at some phases two neighbouring rays leave a pixel of
// a row to neither of them (the native renderer does so at 20 of 4,000 phases of a
// fan of this size, with up to 41 such pixels along one ray's edge; Wine showed 35
// once). Seams are allowed up to SEAM_SHARE of the fan; a dark pixel beside
// another dark one never.
bool fan_is_lit(const Capture &capture, const LitFan &lit)
{
    int64_t expected = 0, dark = 0, seams = 0;
    POINT first{0, 0};
    auto at = [&](int32_t x, int32_t y) {
        return capture.pixels[size_t(y) * size_t(capture.region.width) + size_t(x)];
    };
    for (int32_t y = 0; y < capture.region.height; y++) {
        for (int32_t x = 0; x < capture.region.width; x++) {
            POINT point{capture.region.x + x, capture.region.y + y};
            if (PtInRect(&lit.hidden, point) || !must_be_lit(lit.fan, x, y)) continue;
            expected++;
            if (at(x, y) != 0) continue;
            if (x > 0 && x + 1 < capture.region.width && at(x - 1, y) != 0 && at(x + 1, y) != 0) {
                seams++;
            } else if (dark++ == 0) {
                first = point;
            }
        }
    }
    say("fan of %s: %lld pixels surely inside%s, %lld of them dark, %lld in one-pixel seams", lit.name, expected,
        IsRectEmpty(&lit.hidden) ? "" : " and not below the window", dark, seams);
    if (expected == 0) {
        say("FAIL: the fan of %s has no pixel surely on screen; the scene is badly placed", lit.name);
        return false;
    }
    if (dark) say("FAIL: first dark pixel of the fan of %s at (%ld,%ld)", lit.name, first.x, first.y);
    if (seams > expected * SEAM_SHARE) say("FAIL: more seams than 1 in %d pixels", int(1 / SEAM_SHARE));
    return dark == 0 && seams <= expected * SEAM_SHARE;
}

} // namespace

// A pixel may be lit when it lies within FAN_MARGIN of the largest fan.
bool may_be_lit(const Fan &fan, double x, double y)
{
    return depth_in_fan(fan, x, y, true) > -FAN_MARGIN;
}

// A pixel must be lit when it lies FAN_MARGIN inside the smallest fan.
bool must_be_lit(const Fan &fan, double x, double y)
{
    return depth_in_fan(fan, x, y, false) > FAN_MARGIN;
}

// Every window that may carry a fan: the visible framed ones, and any window the
// size of the desktop's client area.
std::vector<Fan> possible_fans()
{
    std::vector<Fan> fans;
    Region screen = virtual_screen();
    RECT desktop_client{};
    GetClientRect(GetDesktopWindow(), &desktop_client);
    for (const WindowInfo &w : top_level_windows()) {
        if (w.class_name == OVERLAY_NAME) continue;
        LONG width = w.rect.right - w.rect.left, height = w.rect.bottom - w.rect.top;
        bool framed = w.visible && (w.style & WS_CAPTION) != 0;
        bool desktop_sized = width == desktop_client.right && height == desktop_client.bottom;
        if (framed || desktop_sized) fans.push_back(fan_of(w.rect, screen));
    }
    return fans;
}

// Checks a capture of the whole virtual screen during light: every lit pixel
// sound and within some window's fan, and every given fan lit throughout where
// nothing hides it. Keeps the capture when a check fails.
bool light_scene_is_sound(const Capture &capture, const std::vector<LitFan> &lit, const char *scenario)
{
    std::vector<Fan> fans = possible_fans();
    LightReport report = examine_light(fans, capture);
    bool ok = light_is_sound(report);
    if (report.stray) print_fans(fans);
    for (const LitFan &f : lit) ok = fan_is_lit(capture, f) && ok;
    if (!ok) save_failure(capture, scenario);
    return ok;
}

// A framed window a fifth of the screen wide and an eighth high, five eighths
// down the screen, its left edge at column_share of the width: its fan reaches
// well into the screen, and two at 0.1 and 0.6 have fans apart.
RECT window_for_light(Region screen, double column_share)
{
    RECT rect;
    rect.left = screen.x + int32_t(screen.width * column_share);
    rect.top = screen.y + screen.height * 5 / 8;
    rect.right = rect.left + screen.width / 5;
    rect.bottom = rect.top + screen.height / 8;
    return rect;
}
