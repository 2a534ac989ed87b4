// Whole frames of render_light on five desktops, timed by hand so that the same
// source runs natively and as a Windows console program under Wine. Each scene
// prints the best frame's time, a memset of the frame's bytes timed in the same
// run, their ratio, and a checksum of one fixed frame to compare builds by.
#include "bench/bench_desktop.h"

#include "host/clock.h"
#include "host/frame.h"
#include "host/watch.h"
#include "render/light.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int32_t DEFAULT_FRAMES = 10; // frames per scene; the best one counts
const int32_t MEMSET_REPEATS = 10; // memsets per scene; the best one counts
const int MEMSET_BYTE = 0x5A;

// Keeps the compiler from dropping stores into block that nothing reads.
void touch(void *block)
{
    asm volatile("" : : "r"(block) : "memory");
}

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The best of frames frames, each from glows of 1.0, the phase moving by 0.5 as
// on nominal passes.
double best_frame_seconds(int32_t frames, std::vector<uint32_t> &storage)
{
    frame_step = 1.0f;
    ray_phase = 0.0f;
    double best = 1e30;
    for (int32_t n = 0; n < frames; ++n) {
        light_every_window();
        const Clock::time_point start = Clock::now();
        render_light();
        touch(storage.data());
        const double seconds = seconds_since(start);
        best = seconds < best ? seconds : best;
        ray_phase = ray_phase + 0.5f;
    }
    return best;
}

// A byte other than 0: this machine stores zeros up to four times faster at
// times, which made a zero memset's figure jump from run to run.
double best_memset_seconds(std::vector<uint32_t> &storage)
{
    double best = 1e30;
    for (int32_t n = 0; n < MEMSET_REPEATS; ++n) {
        const Clock::time_point start = Clock::now();
        std::memset(storage.data(), MEMSET_BYTE, storage.size() * sizeof(uint32_t));
        touch(storage.data());
        const double seconds = seconds_since(start);
        best = seconds < best ? seconds : best;
    }
    return best;
}

// 64-bit FNV-1a of the frame at phase 1.5 from glows of 1.0, and its lit pixels:
// the same in every build and before and after any change that keeps the pixels.
uint64_t frame_checksum(const std::vector<uint32_t> &storage, int64_t &lit)
{
    frame_step = 1.0f;
    ray_phase = 1.5f;
    light_every_window();
    render_light();
    Checksum checksum;
    lit = 0;
    for (uint32_t pixel : storage) {
        checksum.mix(pixel);
        lit += pixel != 0;
    }
    return checksum.hash;
}

} // namespace

int main(int argc, char **argv)
{
    const int32_t frames = argc > 1 ? std::atoi(argv[1]) : DEFAULT_FRAMES;
    if (frames < 1 || argc > 2) {
        std::fprintf(stderr, "usage: frame_bench [FRAMES]   (best of FRAMES frames per scene, default %d)\n",
                     DEFAULT_FRAMES);
        return 2;
    }
    std::printf("%-22s %10s %10s %9s %10s  %s\n", "scene", "frame_ms", "memset_ms", "x_memset", "lit", "checksum");
    std::vector<uint32_t> storage;
    for (const BenchDesktop &desktop : BENCH_DESKTOPS) {
        lay_out_bench_desktop(desktop, storage);
        // One frame first, so that the glow entries and the pages of the storage exist.
        light_every_window();
        render_light();
        const double frame = best_frame_seconds(frames, storage);
        const double fill = best_memset_seconds(storage);
        int64_t lit = 0;
        const uint64_t checksum = frame_checksum(storage, lit);
        char name[32];
        std::snprintf(name, sizeof name, "%dx%d/%d", desktop.width, desktop.height, desktop.windows);
        std::printf("%-22s %10.3f %10.3f %9.1f %10lld  %016llx\n", name, frame * 1e3, fill * 1e3, frame / fill,
                    static_cast<long long>(lit), static_cast<unsigned long long>(checksum));
        std::fflush(stdout);
    }
    frame_buffer.storage = nullptr;
    raster_target.pixels = nullptr;
    return 0;
}
