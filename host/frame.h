// The overlay's picture: the bottom-up frame buffer, the view the rasterizer writes
// through, the GDI surface it is copied into, and the two operations on them.
// Drawing into the buffer belongs to render/.
#pragma once

#include <windows.h>

#include <cstdint>

// Pixels are 0xAARRGGBB with premultiplied colour; 0 is fully transparent.
// Buffer row 0 is the bottom row of the screen.
struct FrameBuffer {
    BITMAPINFO *header; // made at start-up, never freed; null if it could not be had
    uint32_t *pixels;   // what is handed to GDI: storage after every clear
    int32_t width;      // pixels per row handed to GDI; 0 before the first clear
    int32_t height;     // rows handed to GDI; 0 before the first clear
    uint32_t *storage;  // the one allocation, width x height pixels; null until made
};

// The view through which the span filler and rasterizer clip and write.
// While no storage exists it is 0 x 0, so nothing can be written.
struct RasterTarget {
    int32_t width;     // pixels per row
    int32_t height;    // rows, bottom-up
    uint32_t *pixels;  // pixel (c, r) is pixels[r * width + c]
};

// GDI objects that present_frame uses; made at start-up, never released.
struct PresentationSurface {
    HDC screen_dc;
    HDC memory_dc;
    HBITMAP memory_bitmap;
    HGDIOBJ previous_object;
};

extern FrameBuffer frame_buffer;
extern RasterTarget raster_target;
extern PresentationSurface presentation_surface;

// Takes the BITMAPINFO block from the heap and fills it for the virtual screen.
// Called once by start_up.
void build_frame_header();

// Makes the screen DC, the memory DC and bitmap, and selects the bitmap.
// Called once by start_up.
void build_presentation_surface();

// Gives the frame buffer and the raster target the virtual screen's size and makes
// the storage on first use, leaving the pixels as they are. Returns whether there
// are pixels to write; without storage the target is 0 x 0. Called by clear_frame
// and by render_light, which clears the rows itself band by band.
bool open_frame();

// Sets rows first..end - 1 of the raster target to 0. Called after open_frame.
void clear_rows(int32_t first, int32_t end);

// Makes the storage on first use and sets every pixel to 0. Called by the watch
// loop and by render_light.
void clear_frame();

// Copies the buffer into the memory bitmap and makes it the window's per-pixel-alpha
// image at the virtual screen's origin. Called by the watch loop.
void present_frame(HWND window);
