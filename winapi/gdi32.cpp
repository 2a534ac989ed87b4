// gdi32 over the simulated desktop: memory DCs and the bitmaps selected into them,
// the copy of a DIB into a bitmap, and the reads of its pixels back.
#include "state.h"

#include <algorithm>
#include <cstring>

using sim::Bitmap;
using sim::hex;
using sim::state;

HDC WINAPI CreateCompatibleDC(HDC dc)
{
    LOG("CreateCompatibleDC " + hex(dc));
    HDC handle = reinterpret_cast<HDC>(state().next_dc++);
    state().selected[handle] = reinterpret_cast<HBITMAP>(sim::STOCK_BITMAP);
    return handle;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height)
{
    LOG("CreateCompatibleBitmap " + hex(dc) + " " + std::to_string(width) + "x" + std::to_string(height));
    if (!dc || width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > static_cast<int64_t>(1) << 28) {
        return nullptr;
    }
    HBITMAP handle = reinterpret_cast<HBITMAP>(state().next_bitmap++);
    Bitmap &bitmap = state().bitmaps[handle];
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return handle;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object)
{
    LOG("SelectObject " + hex(dc) + " " + hex(object));
    auto selected = state().selected.find(dc);
    // The DC's original stock bitmap can be selected back, as on the platform.
    if (selected == state().selected.end() || (reinterpret_cast<uintptr_t>(object) != sim::STOCK_BITMAP &&
                                               !state().bitmaps.count(static_cast<HBITMAP>(object)))) {
        return nullptr;
    }
    HBITMAP previous = selected->second;
    selected->second = static_cast<HBITMAP>(object);
    return static_cast<HGDIOBJ>(previous);
}

// Copies a 32-bit BI_RGB DIB into the bitmap selected into dc; a positive height
// means the DIB's first row is the image's bottom row.
int WINAPI SetDIBitsToDevice(HDC dc, int x_dest, int y_dest, DWORD width, DWORD height, int x_src, int y_src,
                             UINT start_scan, UINT lines, const void *bits, const BITMAPINFO *info, UINT color_use)
{
    LOG("SetDIBitsToDevice " + hex(dc) + " " + std::to_string(x_dest) + "," + std::to_string(y_dest) + " " +
        std::to_string(width) + "x" + std::to_string(height) + " " + std::to_string(x_src) + "," +
        std::to_string(y_src) + " " + std::to_string(start_scan) + " " + std::to_string(lines) + " " + hex(bits) + " " +
        hex(info) + " " + std::to_string(color_use));
    auto selected = state().selected.find(dc);
    if (selected == state().selected.end() || !bits || !info) {
        return 0;
    }
    auto found = state().bitmaps.find(selected->second);
    if (found == state().bitmaps.end()) {
        return 0;
    }
    const BITMAPINFOHEADER &h = info->bmiHeader;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0) {
        return 0;
    }
    Bitmap &bitmap = found->second;
    const uint32_t *source = static_cast<const uint32_t *>(bits);
    LONG dib_rows = h.biHeight > 0 ? h.biHeight : -h.biHeight;
    UINT copied = 0;
    for (UINT scan = start_scan; scan < start_scan + lines && static_cast<LONG>(scan) < dib_rows; scan++) {
        // Row index in the DIB counted from its top.
        LONG top_row = h.biHeight > 0 ? dib_rows - 1 - static_cast<LONG>(scan) : static_cast<LONG>(scan);
        LONG dest_row = y_dest + (top_row - y_src);
        if (top_row < y_src || top_row >= y_src + static_cast<LONG>(height) || dest_row < 0 ||
            dest_row >= bitmap.height) {
            continue;
        }
        // Columns that land inside both the bitmap and the DIB's row.
        LONG first = std::max<LONG>(0, -x_dest);
        LONG last = std::min<LONG>({static_cast<LONG>(width), bitmap.width - x_dest, h.biWidth - x_src});
        if (first < last) {
            std::memcpy(&bitmap.pixels[static_cast<size_t>(dest_row) * bitmap.width + x_dest + first],
                        &source[static_cast<size_t>(scan - start_scan) * h.biWidth + x_src + first],
                        static_cast<size_t>(last - first) * 4);
        }
        copied++;
    }
    return static_cast<int>(copied);
}

// 0x00BBGGRR of the pixel at (x, y) from the top-left of the bitmap selected into dc.
COLORREF WINAPI GetPixel(HDC dc, int x, int y)
{
    auto selected = state().selected.find(dc);
    if (selected == state().selected.end()) {
        return CLR_INVALID;
    }
    auto found = state().bitmaps.find(selected->second);
    if (found == state().bitmaps.end() || x < 0 || y < 0 || x >= found->second.width || y >= found->second.height) {
        return CLR_INVALID;
    }
    uint32_t pixel = found->second.pixels[static_cast<size_t>(y) * found->second.width + x];
    return ((pixel & 0xFF) << 16) | (pixel & 0xFF00) | ((pixel >> 16) & 0xFF);
}

// Reads scan lines of a bitmap into a 32-bit BI_RGB DIB of the bitmap's width, alpha
// byte included; a positive height asks for bottom-up rows. Other formats, and a
// null bits pointer (the platform's query of the format), fail with 0.
int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT start_scan, UINT lines, LPVOID bits, BITMAPINFO *info, UINT color_use)
{
    LOG("GetDIBits " + hex(dc) + " " + hex(bitmap) + " " + std::to_string(start_scan) + " " + std::to_string(lines) +
        " " + std::to_string(color_use));
    auto found = state().bitmaps.find(bitmap);
    if (!dc || !bits || !info || found == state().bitmaps.end()) {
        return 0;
    }
    const BITMAPINFOHEADER &h = info->bmiHeader;
    const Bitmap &source = found->second;
    if (h.biBitCount != 32 || h.biCompression != BI_RGB || h.biWidth != source.width || h.biHeight == 0) {
        return 0;
    }
    uint32_t *target = static_cast<uint32_t *>(bits);
    int copied = 0;
    for (UINT scan = start_scan; scan < start_scan + lines && static_cast<LONG>(scan) < source.height; scan++) {
        // DIB scan lines count from the bottom row for a bottom-up request.
        LONG row = h.biHeight > 0 ? source.height - 1 - static_cast<LONG>(scan) : static_cast<LONG>(scan);
        std::memcpy(&target[static_cast<size_t>(scan - start_scan) * source.width],
                    &source.pixels[static_cast<size_t>(row) * source.width], static_cast<size_t>(source.width) * 4);
        copied++;
    }
    return copied;
}
