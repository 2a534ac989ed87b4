// The frame buffer, its GDI description and presentation surface, and the clear
// and present operations. If the header or the pixels cannot be had, the program
// goes on with nothing drawn rather than write through a null or short pointer.
#include "host/frame.h"

#include "host/overlay.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

FrameBuffer frame_buffer;
RasterTarget raster_target;
PresentationSurface presentation_surface;

const int32_t BYTES_PER_PIXEL = 4;
const int64_t MAX_FRAME_BYTES = INT32_MAX; // the byte count must fit signed 32 bits

// The storage's size in bytes, or 0 for a screen that is empty, negative or too big
// for a signed 32-bit byte count; computed in 64 bits so nothing overflows.
static int64_t frame_bytes()
{
    int64_t width = screen_geometry.width;
    int64_t height = screen_geometry.height;
    if (width <= 0 || height <= 0)
        return 0;
    int64_t bytes = width * height * BYTES_PER_PIXEL;
    return bytes <= MAX_FRAME_BYTES ? bytes : 0;
}

void build_frame_header()
{
    frame_buffer.header = static_cast<BITMAPINFO *>(HeapAlloc(GetProcessHeap(), 0, sizeof(BITMAPINFO)));
    if (!frame_buffer.header)
        return;
    BITMAPINFOHEADER &h = frame_buffer.header->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = screen_geometry.width;
    h.biHeight = screen_geometry.height; // positive: bottom-up rows
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biSizeImage = 0;
    h.biXPelsPerMeter = 0;
    h.biYPelsPerMeter = 0;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
}

void build_presentation_surface()
{
    PresentationSurface &s = presentation_surface;
    s.screen_dc = GetDC(nullptr);
    s.memory_dc = CreateCompatibleDC(s.screen_dc);
    s.memory_bitmap = CreateCompatibleBitmap(s.screen_dc, screen_geometry.width, screen_geometry.height);
    s.previous_object = SelectObject(s.memory_dc, s.memory_bitmap);
}

bool open_frame()
{
    frame_buffer.width = raster_target.width = screen_geometry.width;
    frame_buffer.height = raster_target.height = screen_geometry.height;
    int64_t bytes = frame_bytes();
    if (!frame_buffer.storage && bytes > 0) {
        frame_buffer.storage = static_cast<uint32_t *>(HeapAlloc(GetProcessHeap(), 0, (SIZE_T)bytes));
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
    if (end <= first)
        return;
    std::fill_n(raster_target.pixels + (ptrdiff_t)first * raster_target.width,
                (ptrdiff_t)(end - first) * raster_target.width, 0u);
}

void clear_frame()
{
    if (open_frame())
        clear_rows(0, raster_target.height);
}

void present_frame(HWND window)
{
    if (!frame_buffer.pixels || !frame_buffer.header)
        return;
    const PresentationSurface &s = presentation_surface;
    SetDIBitsToDevice(s.memory_dc, 0, 0, (DWORD)frame_buffer.width, (DWORD)frame_buffer.height, 0, 0, 0,
                      (UINT)frame_buffer.height, frame_buffer.pixels, frame_buffer.header, DIB_RGB_COLORS);
    POINT destination = {screen_geometry.x, screen_geometry.y};
    SIZE size = {frame_buffer.width, frame_buffer.height};
    POINT source = {0, 0};
    // Per-pixel alpha, unscaled: the overlay's opacity at each point is the pixel's alpha.
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, nullptr, &destination, &size, s.memory_dc, &source, 0, &blend, ULW_ALPHA);
}
