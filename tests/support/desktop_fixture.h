// Test fixture for the simulated desktop: a fresh desktop and a freshly started
// program for every test, and small helpers to build windows and read the overlay.
#pragma once

#include "program_state.h"

#include <desktop.h>
#include <gtest/gtest.h>

#include <cstdint>

// The instance handle the tests start the program with.
inline const HINSTANCE INSTANCE = reinterpret_cast<HINSTANCE>(0x400000);

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::reset();
        reset_program_state();
    }
    void TearDown() override
    {
        reset_program_state();
        sim::reset();
    }
};

// A framed, resizable application window: 6 pixels wider than its client area.
inline sim::WindowSpec framed_window(RECT rect, DWORD extra_style = 0)
{
    sim::WindowSpec spec;
    spec.style = WS_OVERLAPPEDWINDOW | WS_VISIBLE | extra_style;
    spec.rect = rect;
    return spec;
}

// The presented pixel at a virtual-screen position, counted from the overlay's top-left.
inline uint32_t presented_pixel(int column, int row_from_top)
{
    const sim::Presentation &p = sim::desktop().last_presentation;
    return p.pixels[static_cast<size_t>(row_from_top) * p.size.cx + column];
}

// The number of presented pixels that are not fully transparent.
inline int64_t lit_pixel_count()
{
    if (sim::desktop().presentation_count == 0) return 0;
    int64_t lit = 0;
    for (uint32_t pixel : sim::desktop().last_presentation.pixels) lit += pixel != 0;
    return lit;
}
