// The frame buffer's storage: made once from the heap, sized to the virtual screen
// on every opening, and cleared. If the pixels cannot be had, the program goes on
// with nothing drawn rather than write through a null or short pointer.
#include "host/storage.h"

#include "host/frame.h"
#include "host/shared.h"
#include "render/raster_target.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

const int32_t BYTES_PER_PIXEL = 4;
const int64_t MAX_FRAME_BYTES = INT32_MAX; // the byte count must fit signed 32 bits

namespace {

// The storage's size in bytes, or 0 for a screen that is empty, negative or too big
// for a signed 32-bit byte count; computed in 64 bits so nothing overflows.
int64_t frame_bytes()
{
    int64_t width = screen_geometry.width;
    int64_t height = screen_geometry.height;
    if (width <= 0 || height <= 0) {
        return 0;
    }
    int64_t bytes = width * height * BYTES_PER_PIXEL;
    return bytes <= MAX_FRAME_BYTES ? bytes : 0;
}

} // namespace

bool open_frame()
{
    frame_buffer.width = raster_target.width = screen_geometry.width;
    frame_buffer.height = raster_target.height = screen_geometry.height;
    int64_t bytes = frame_bytes();
    if (!frame_buffer.storage && bytes > 0) {
        frame_buffer.storage = static_cast<uint32_t *>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(bytes)));
        raster_target.pixels = frame_buffer.storage;
    }
    frame_buffer.pixels = frame_buffer.storage;
    if (!frame_buffer.storage) {
        // Nothing to draw into: an empty target makes every span clip to nothing.
        raster_target.width = raster_target.height = 0;
        return false;
    }
    // Storage made for an earlier screen does not make pixels of a screen with no
    // columns or no rows: the renderer's bands divide by the width.
    return raster_target.width > 0 && raster_target.height > 0;
}

void clear_rows(int32_t first, int32_t end)
{
    if (end <= first) {
        return;
    }
    std::fill_n(raster_target.pixels + static_cast<ptrdiff_t>(first) * raster_target.width,
                static_cast<ptrdiff_t>(end - first) * raster_target.width, 0u);
}

void clear_frame()
{
    if (open_frame()) {
        clear_rows(0, raster_target.height);
    }
}
