// The frame buffer's GDI description, the presentation surface and the present
// operation. If the header cannot be had, nothing is presented rather than hand GDI
// a null description. The storage and its clear are in storage.cpp.
#include "host/frame.h"

#include "host/shared.h"

#include <cstdint>

FrameBuffer frame_buffer;
PresentationSurface presentation_surface;

void build_frame_header()
{
    frame_buffer.header = static_cast<BITMAPINFO *>(HeapAlloc(GetProcessHeap(), 0, sizeof(BITMAPINFO)));
    if (!frame_buffer.header) {
        return;
    }
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

void present_frame(HWND window)
{
    if (!frame_buffer.pixels || !frame_buffer.header) {
        return;
    }
    const PresentationSurface &s = presentation_surface;
    SetDIBitsToDevice(s.memory_dc, 0, 0, static_cast<DWORD>(frame_buffer.width),
                      static_cast<DWORD>(frame_buffer.height), 0, 0, 0, static_cast<UINT>(frame_buffer.height),
                      frame_buffer.pixels, frame_buffer.header, DIB_RGB_COLORS);
    POINT destination = {screen_geometry.x, screen_geometry.y};
    SIZE size = {frame_buffer.width, frame_buffer.height};
    POINT source = {0, 0};
    // Per-pixel alpha, unscaled: the overlay's opacity at each point is the pixel's alpha.
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, nullptr, &destination, &size, s.memory_dc, &source, 0, &blend, ULW_ALPHA);
}
