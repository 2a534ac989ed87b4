// What the light rendering tests draw into and from: a raster target of the test's
// own between two sentinel blocks or ending at a page that faults, pictures of what
// was written, a frame buffer whose storage the test owns for render_light, a
// census of the test's windows, and window handles, float bits and odd floats.
#pragma once

#include "program_state.h"

#include "host/frame.h"
#include "host/overlay.h"
#include "render/ramp.h"
#include "render/rasterizer.h"
#include "tracking/census.h"
#include "tracking/glow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/mman.h>
#endif

inline HWND handle(uintptr_t value)
{
    return reinterpret_cast<HWND>(value);
}

// A float's bit pattern, so that -0.0 and NaN compare as what they are.
inline uint32_t bits(float value)
{
    uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// A pixel or a float's bits as a failure prints them.
inline std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// Floats that no glow, step or phase should be, and the renderer must survive.
inline constexpr float NAN_F = std::numeric_limits<float>::quiet_NaN();
inline constexpr float INF_F = std::numeric_limits<float>::infinity();
inline constexpr float MAX_F = std::numeric_limits<float>::max();

// One window of a test's census: its handle, its rectangle on the screen, its glow.
struct CensusWindow {
    HWND handle;
    RECT rect;
    float glow;
};

// Sets the census to these windows, highest first, with no walk, and their glows.
inline void set_census(const std::vector<CensusWindow> &windows)
{
    window_census.count = static_cast<int32_t>(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        window_census.handles[i] = windows[i].handle;
        window_census.rects[i] = windows[i].rect;
        glow_entry_for(windows[i].handle)->glow = windows[i].glow;
    }
}

// A scene for render_light: the screen, the pass, the desktop window and the census.
struct Scene {
    ScreenGeometry screen;
    float step;                        // frame_step
    float phase;                       // ray_phase, radians
    HWND desktop;                      // desktop_window
    std::vector<CensusWindow> windows; // highest first
};

// Puts the scene in the program's records, each window's glow included.
inline void take_scene(const Scene &scene)
{
    screen_geometry = scene.screen;
    frame_step = scene.step;
    ray_phase = scene.phase;
    desktop_window = scene.desktop;
    set_census(scene.windows);
}

// Puts the corners in ray_vertices and fills the triangle they make, in this order.
inline void draw(const RayVertex &a, const RayVertex &b, const RayVertex &c)
{
    ray_vertices[0] = a;
    ray_vertices[1] = b;
    ray_vertices[2] = c;
    fill_triangle(0, 1, 2);
}

// A triangle corner against the one expected, printing both when they differ.
inline ::testing::AssertionResult vertex_is(const RayVertex &seen, const RayVertex &expected)
{
    if (seen.x == expected.x && seen.y == expected.y && seen.shade == expected.shade) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "saw (" << seen.x << ", " << seen.y << ", " << seen.shade << "), expected ("
                                         << expected.x << ", " << expected.y << ", " << expected.shade << ")";
}

// Not a ramp entry (entry 0x5A has green 0x4C), so "never written" shows.
inline constexpr uint32_t SENTINEL = 0x5A5A5A5Au;
inline constexpr int32_t SENTINEL_MARGIN = 64; // pixels before and after the target

// Points raster_target at a width x height block filled with SENTINEL, with
// sentinel margins on both sides; puts the previous target back when it goes.
class SentinelTarget {
public:
    SentinelTarget(int32_t width, int32_t height)
        : width_(width), height_(height), block_(static_cast<size_t>(width) * height + 2 * SENTINEL_MARGIN, SENTINEL)
    {
        raster_target.width = width;
        raster_target.height = height;
        raster_target.pixels = block_.data() + SENTINEL_MARGIN;
    }
    SentinelTarget(const SentinelTarget &) = delete;
    SentinelTarget &operator=(const SentinelTarget &) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    uint32_t at(int32_t column, int32_t row) const
    {
        return block_[SENTINEL_MARGIN + static_cast<size_t>(row) * width_ + column];
    }
    void fill(uint32_t value) { std::fill(block_.begin(), block_.end(), value); }
    bool margins_intact() const
    {
        for (int32_t i = 0; i < SENTINEL_MARGIN; ++i) {
            if (block_[i] != SENTINEL || block_[block_.size() - 1 - i] != SENTINEL) {
                return false;
            }
        }
        return true;
    }
    int64_t written_count() const
    {
        int64_t count = 0;
        for (int32_t r = 0; r < height_; ++r) {
            for (int32_t c = 0; c < width_; ++c) {
                count += at(c, r) != SENTINEL;
            }
        }
        return count;
    }

private:
    ProgramStateGuard saved_;
    int32_t width_;
    int32_t height_;
    std::vector<uint32_t> block_;
};

// Points raster_target at exactly width x height pixels, filled with SENTINEL, that
// end where a page begins that may be neither read nor written: any access past the
// last pixel faults at once, even one that writes back what it read.
class GuardedTarget {
public:
    GuardedTarget(int32_t width, int32_t height)
    {
        const size_t bytes = static_cast<size_t>(width) * height * sizeof(uint32_t);
        body_ = (bytes + GUARD - 1) / GUARD * GUARD;
#ifdef _WIN32
        base_ = static_cast<char *>(VirtualAlloc(nullptr, body_ + GUARD, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous = 0;
        VirtualProtect(base_ + body_, GUARD, PAGE_NOACCESS, &previous);
#else
        base_ = static_cast<char *>(
            mmap(nullptr, body_ + GUARD, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(base_ + body_, GUARD, PROT_NONE);
#endif
        pixels_ = reinterpret_cast<uint32_t *>(base_ + body_ - bytes);
        std::fill(pixels_, pixels_ + static_cast<size_t>(width) * height, SENTINEL);
        raster_target = RasterTarget{width, height, pixels_};
        width_ = width;
    }
    ~GuardedTarget()
    {
#ifdef _WIN32
        VirtualFree(base_, 0, MEM_RELEASE);
#else
        munmap(base_, body_ + GUARD);
#endif
    }
    GuardedTarget(const GuardedTarget &) = delete;
    GuardedTarget &operator=(const GuardedTarget &) = delete;

    uint32_t at(int32_t column, int32_t row) const
    {
        return pixels_[static_cast<size_t>(row) * width_ + column];
    }
    uint32_t *pixels() const
    {
        return pixels_;
    }

private:
    static constexpr size_t GUARD = 65536; // a multiple of every page size met
    ProgramStateGuard saved_;
    char *base_ = nullptr;
    size_t body_ = 0;
    uint32_t *pixels_ = nullptr;
    int32_t width_ = 0;
};

// The ramp index a written pixel holds (its alpha), or -1 for a sentinel and -2 for
// a value that is no ramp entry at all.
inline int32_t entry_of(uint32_t pixel)
{
    if (pixel == SENTINEL) {
        return -1;
    }
    const uint32_t index = pixel >> 24;
    return light_ramp.entries[index] == pixel ? static_cast<int32_t>(index) : -2;
}

inline int32_t entry_at(const SentinelTarget &target, int32_t column, int32_t row)
{
    return entry_of(target.at(column, row));
}

// Compares the written pixels with a picture whose first string is the highest
// buffer row shown and whose last is row 0: '#' written, '.' untouched. Rows above
// the picture must be untouched. Reports the first cell that differs.
inline ::testing::AssertionResult matches_picture(const SentinelTarget &target, const std::vector<std::string> &picture)
{
    const int32_t shown = static_cast<int32_t>(picture.size());
    for (int32_t r = target.height() - 1; r >= 0; --r) {
        for (int32_t c = 0; c < target.width(); ++c) {
            char expected = '.';
            if (r < shown) {
                const std::string &line = picture[shown - 1 - r];
                expected = c < static_cast<int32_t>(line.size()) ? line[c] : '.';
            }
            const char seen = target.at(c, r) == SENTINEL ? '.' : '#';
            if (seen != expected) {
                return ::testing::AssertionFailure()
                       << "row " << r << " column " << c << ": expected '" << expected << "', saw '" << seen
                       << "' (pixel " << hex(target.at(c, r)) << ")";
            }
        }
    }
    if (!target.margins_intact()) {
        return ::testing::AssertionFailure() << "a sentinel margin outside the target was written";
    }
    return ::testing::AssertionSuccess();
}

// Gives render_light a frame buffer of the screen's size whose storage the test
// owns (clear_frame keeps storage it finds); the program's records go back when it
// goes.
class OwnedFrame {
public:
    explicit OwnedFrame(const ScreenGeometry &screen)
        : storage_(static_cast<size_t>(screen.width) * screen.height, SENTINEL)
    {
        screen_geometry = screen;
        frame_buffer.storage = storage_.data();
        raster_target.pixels = storage_.data();
    }
    OwnedFrame(const OwnedFrame &) = delete;
    OwnedFrame &operator=(const OwnedFrame &) = delete;

    std::vector<uint32_t> &pixels() { return storage_; }
    int64_t lit_count() const
    {
        int64_t count = 0;
        for (uint32_t pixel : storage_) {
            count += pixel != 0;
        }
        return count;
    }

private:
    ProgramStateGuard saved_;
    std::vector<uint32_t> storage_;
};
