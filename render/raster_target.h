// The raster target: the view of the frame buffer that every span is clipped to and
// written through, the one record of the frame that the overlay host and the
// renderer share. The host's open_frame sizes it and points it at the storage; the
// span filler and the rasterizer read it. The frame buffer itself is the host's.
#pragma once

#include <cstdint>

// While no storage exists it is 0 x 0, so nothing can be written.
struct RasterTarget {
    int32_t width;    // pixels per row
    int32_t height;   // rows, bottom-up
    uint32_t *pixels; // pixel (c, r) is pixels[r * width + c]
};

extern RasterTarget raster_target;
