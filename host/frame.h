// The overlay's picture: the bottom-up frame buffer, the GDI surface it is copied
// into, and its presentation. The raster target through which it is drawn is in
// render/raster_target.h; its storage and clear are in storage.h.
#pragma once

#include "host/storage.h"
#include "render/raster_target.h"

#include <windows.h>

#include <cstdint>

// Pixels are 0xAARRGGBB with premultiplied colour; 0 is fully transparent.
// Buffer row 0 is the bottom row of the screen.
struct FrameBuffer {
    BITMAPINFO *header; // made at start-up, never freed; null if it could not be had
    uint32_t *pixels;   // what is handed to GDI; open_frame keeps it equal to storage
    int32_t width;      // pixels per row handed to GDI; 0 before the first clear
    int32_t height;     // rows handed to GDI; 0 before the first clear
    uint32_t *storage;  // the one allocation, width x height pixels; null until made
};

// GDI objects that present_frame uses; made at start-up, never released.
struct PresentationSurface {
    HDC screen_dc;
    HDC memory_dc;
    HBITMAP memory_bitmap;
    // What SelectObject gave back: kept, never selected back, read by nothing.
    HGDIOBJ previous_object;
};

extern FrameBuffer frame_buffer;
extern PresentationSurface presentation_surface;

// Takes the BITMAPINFO block from the heap and fills it for the virtual screen.
// Called once by start_up.
void build_frame_header();

// Makes the screen DC, the memory DC and bitmap, and selects the bitmap.
// Called once by start_up.
void build_presentation_surface();

// Copies the buffer into the memory bitmap and makes it the window's per-pixel-alpha
// image at the virtual screen's origin. Called by the watch loop.
void present_frame(HWND window);
