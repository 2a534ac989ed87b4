// The frame buffer's storage as the watch loop and the renderer use it: made on
// first use, given the virtual screen's size, cleared whole or a band of rows at a
// time. No GDI here; the buffer's GDI description and its presentation are in frame.h.
#pragma once

#include <cstdint>

// Gives the frame buffer and the raster target the virtual screen's size and makes
// the storage on first use, leaving the pixels as they are. Returns whether there
// are pixels to write; without storage the target is 0 x 0. Called by clear_frame
// and by render_light, which clears the rows itself band by band.
bool open_frame();

// Sets rows first..end - 1 of the raster target to 0. Called by clear_frame and by
// render_light, after open_frame.
void clear_rows(int32_t first, int32_t end);

// Makes the storage on first use and sets every pixel to 0. Called by the watch
// loop.
void clear_frame();
