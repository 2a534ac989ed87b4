// Timings of the light rendering: whole frames of render_light, the span loop alone
// and the clear, each beside a plain memset of the same bytes timed in the same run.
// Counters: items = pixels written (or lit, for whole frames), bytes = 4 per pixel,
// vs_memset = this benchmark's time over memset's time for the same bytes.
#include "bench/bench_desktop.h"

#include "host/clock.h"
#include "host/frame.h"
#include "host/watch.h"
#include "render/light.h"
#include "render/ramp.h"
#include "render/rasterizer.h"
#include "render/span.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds per memset of bytes bytes into block, the best of a few timed batches.
double memset_seconds(void *block, size_t bytes)
{
    double best = 1e30;
    for (int batch = 0; batch < 5; ++batch) {
        const int repeats = bytes > (1u << 20) ? 20 : 2000;
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < repeats; ++i) {
            std::memset(block, i & 1, bytes);
            benchmark::ClobberMemory();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count() / repeats;
        best = seconds < best ? seconds : best;
    }
    return best;
}

// Adds memset's time for the same bytes and the ratio of the measured time per
// iteration to it.
void report_against_memset(benchmark::State &state, double seconds, void *block, size_t bytes)
{
    const double reference = memset_seconds(block, bytes);
    const double per_iteration = state.iterations() > 0 ? seconds / static_cast<double>(state.iterations()) : 0.0;
    state.counters["memset_us"] = reference * 1e6;
    state.counters["vs_memset"] = per_iteration / reference;
}

// Whole frames. The glows are put back to 1.0 before each frame (outside the
// timing) so every frame draws at full brightness.
void render_frames(benchmark::State &state)
{
    const BenchDesktop desktop{static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)),
                               static_cast<int32_t>(state.range(2))};
    std::vector<uint32_t> storage;
    lay_out_bench_desktop(desktop, storage);
    frame_step = 1.0f;
    ray_phase = 0.0f;
    double rendering = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        light_every_window();
        ray_phase = ray_phase + 0.5f;
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        render_light();
        benchmark::DoNotOptimize(storage.data());
        rendering += std::chrono::duration<double>(Clock::now() - start).count();
    }
    int64_t lit = 0;
    for (uint32_t pixel : storage) {
        lit += pixel != 0;
    }
    const size_t frame_bytes = storage.size() * 4;
    state.SetItemsProcessed(state.iterations() * lit);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(frame_bytes));
    state.counters["lit_pixels"] = static_cast<double>(lit);
    report_against_memset(state, rendering, storage.data(), frame_bytes);
}

// The span loop alone: every row of a width x 64 target filled by one span with a
// slowly falling shade, as the fan's middle rays have.
void span_loop(benchmark::State &state)
{
    const int32_t width = static_cast<int32_t>(state.range(0));
    const int32_t rows = 64;
    std::vector<uint32_t> storage(static_cast<size_t>(width) * rows, 0);
    raster_target = RasterTarget{width, rows, storage.data()};
    build_light_ramp();
    const int32_t step = -(200 << 8) / width;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        for (int32_t r = 0; r < rows; ++r) {
            fill_span(RayVertex{0, r, 220 << 8}, RayVertex{width << 8, r, 0}, step);
        }
        benchmark::DoNotOptimize(storage.data());
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int64_t pixels = static_cast<int64_t>(width) * rows;
    state.SetItemsProcessed(state.iterations() * pixels);
    state.SetBytesProcessed(state.iterations() * pixels * 4);
    report_against_memset(state, seconds, storage.data(), storage.size() * 4);
}

void clear_only(benchmark::State &state)
{
    const BenchDesktop desktop{static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), 0};
    std::vector<uint32_t> storage;
    lay_out_bench_desktop(desktop, storage);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        clear_frame();
        benchmark::DoNotOptimize(storage.data());
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(storage.size()) * 4);
    report_against_memset(state, seconds, storage.data(), storage.size() * 4);
}

void memset_only(benchmark::State &state)
{
    const size_t bytes = static_cast<size_t>(state.range(0)) * state.range(1) * 4;
    std::vector<uint8_t> block(bytes, 1);
    int value = 0;
    for (auto _ : state) {
        std::memset(block.data(), value ^= 1, bytes);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

BENCHMARK(render_frames)
    ->Args({1920, 1080, 1})
    ->Args({1920, 1080, 8})
    ->Args({1920, 1080, 32})
    ->Args({5760, 1080, 16})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(span_loop)->Arg(64)->Arg(1920)->Arg(5760)->Unit(benchmark::kMicrosecond);
BENCHMARK(clear_only)->Args({1920, 1080})->Args({5760, 1080})->Unit(benchmark::kMicrosecond);
BENCHMARK(memset_only)->Args({1920, 1080})->Args({5760, 1080})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
