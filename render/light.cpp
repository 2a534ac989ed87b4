// The whole frame of light: the glows' decay in census order, the dark-frame rule
// and the fans, set up once and then drawn one band of rows at a time. The one file
// of the renderer that joins the census, the glow table and the host's frame and
// screen to it; each fan's geometry belongs to fan.cpp, each triangle's walk to
// rasterizer.cpp and its rows to span.cpp.
#include "render/light.h"

#include "host/shared.h"
#include "host/storage.h"
#include "render/fan.h"
#include "render/ramp.h"
#include "render/raster_target.h"
#include "tracking/census.h"
#include "tracking/glow.h"

#include <cstdint>
#include <limits>

namespace {

// A band is about 1 MiB of frame, so its rows stay in cache while every fan is
// drawn into it. Every pixel lies in one band and, within a band, the triangles
// come in the same order as in a whole-frame walk, so each pixel is written by the
// same triangles in the same order, and the last one shows.
constexpr int32_t BAND_PIXELS = 1 << 18;

// Fans are set up this many at a time; a larger census is drawn in batches,
// each over all bands, which keeps the order of the triangles.
constexpr int32_t BATCH_FANS = 64;

int32_t fan_brightnesses[CENSUS_CAPACITY]; // S of each census entry, this frame
TriangleWalk batch_walks[BATCH_FANS * FAN_RAYS];

// The fan of census entry i: its rectangle and the screen as the fan takes them.
FanShape census_fan(int32_t i)
{
    const RECT &rect = window_census.rects[i];
    const WindowBox window{rect.left, rect.top, rect.right, rect.bottom};
    const ScreenBox screen{screen_geometry.x, screen_geometry.y, screen_geometry.width, screen_geometry.height};
    return fan_shape(window, screen);
}

// Decays the glow of every censused window but the desktop, lowest window first,
// and notes each one's brightness. Returns whether no window kept a glow.
bool decay_glows()
{
    bool dark = true;
    for (int32_t i = window_census.count - 1; i >= 0; --i) {
        const HWND window = window_census.handles[i];
        if (window == desktop_window) {
            continue;
        }
        GlowEntry *entry = glow_entry_for(window);
        // The product first, then the difference, both in single precision.
        const float decay = frame_step * GLOW_DECAY;
        entry->glow = entry->glow - decay;
        if (entry->glow >= 0.0f && entry->glow <= std::numeric_limits<float>::max()) {
            dark = false;
        } else {
            entry->glow = 0.0f;
        }
        fan_brightnesses[i] = fan_brightness(entry->glow);
    }
    return dark;
}

// Draws the planned triangles band by band; the first batch clears each band
// just before drawing into it.
void draw_batch(int32_t planned, bool clear)
{
    const int32_t height = raster_target.height;
    const int32_t band_rows = raster_target.width < BAND_PIXELS ? BAND_PIXELS / raster_target.width : 1;
    for (int32_t first = 0; first < height; first += band_rows) {
        const int32_t end = height - first > band_rows ? first + band_rows : height;
        if (clear) {
            clear_rows(first, end);
        }
        for (int32_t t = 0; t < planned; ++t) {
            walk_triangle(batch_walks[t], first, end);
        }
    }
}

// Every fan, lowest window first, so a higher window's fan covers a lower one's.
void draw_fans(const FanWobble &wobble)
{
    int32_t next = window_census.count - 1;
    bool first_batch = true;
    do {
        int32_t planned = 0;
        for (int32_t fans = 0; next >= 0 && fans < BATCH_FANS; --next) {
            if (window_census.handles[next] == desktop_window) {
                continue;
            }
            planned += plan_fan(census_fan(next), fan_brightnesses[next], wobble, batch_walks + planned);
            ++fans;
        }
        draw_batch(planned, first_batch);
        first_batch = false;
    } while (next >= 0);
}

// ray_vertices keeps the corners of the last ray of the frame: that of the highest
// window whose fan has a ray that fits. Nothing in the program reads them.
void keep_last_corners(const FanWobble &wobble)
{
    for (int32_t i = 0; i < window_census.count; ++i) {
        if (window_census.handles[i] == desktop_window) {
            continue;
        }
        if (fan_last_ray(census_fan(i), fan_brightnesses[i], wobble, ray_vertices)) {
            return;
        }
    }
}

} // namespace

void render_light()
{
    build_light_ramp();
    const bool pixels = open_frame();
    const bool dark = decay_glows();
    const FanWobble wobble = fan_wobble(ray_phase);
    // A frame where no window kept a glow ends wholly transparent: its fans, all at
    // shade 1, would be cleared again, so they are not drawn.
    if (pixels && dark) {
        clear_rows(0, raster_target.height);
    } else if (pixels) {
        draw_fans(wobble);
    }
    keep_last_corners(wobble);
}
