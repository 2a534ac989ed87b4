// Timings of one idle pass of the watch loop over the simulated desktop, with 30
// censused windows, after 0 to a million older windows were seen: the pass as the
// program makes it, its 30 glow lookups alone, and the same pass beside the walk
// of the list that each lookup made before the index, all timed in one run.
// Counters: entries = the glow table's size, compared = entries compared per
// lookup (by the index, or by the walk), vs_first = the thread's processor time
// per iteration over the same work's with no older windows, measured in the same
// call. Processor time rather than elapsed time: the machine is shared, and time
// the thread spends waiting for a core is nobody's cost.
#include "host/overlay.h"
#include "host/watch.h"
#include "tracking/census.h"
#include "tracking/glow.h"

#include <benchmark/benchmark.h>
#include <desktop.h>

#include <cstdint>
#include <ctime>
#include <map>

namespace {

const int CENSUSED = 30;
const int SETTLING_PASSES = 64; // the activation's glow runs out in about 25

// Older windows' handles, 4 apart as the platform hands them out, in a range the
// simulated desktop never gives its own windows.
HWND older_window(int64_t i)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000000 + 4 * i));
}

// The desktop, made once: 30 framed windows, one of them in the foreground, the
// loop started and run until its activation has faded and it idles.
void set_desktop()
{
    static bool made = false;
    if (made) {
        return;
    }
    made = true;
    sim::log_calls(false);
    start_up(reinterpret_cast<HINSTANCE>(0x400000));
    HWND last = nullptr;
    for (int i = 0; i < CENSUSED; i++) {
        sim::WindowSpec spec;
        spec.rect = RECT{20 * i, 15 * i, 20 * i + 300, 15 * i + 200};
        last = sim::add_window(spec);
    }
    sim::set_foreground(last);
    start_watch();
    for (int pass = 0; pass < SETTLING_PASSES; pass++) {
        watch_pass();
    }
}

// A glow table that has seen `seen` older windows and then the 30 of the census,
// as weeks of desktop use leave it: the census's entries are the newest. Built
// once per size and swapped in whole; its entries stay on the heap.
const GlowTable &table_after(int64_t seen)
{
    static std::map<int64_t, GlowTable> tables;
    auto found = tables.find(seen);
    if (found != tables.end()) {
        return found->second;
    }
    set_desktop();
    glow_table = {};
    for (int64_t i = 0; i < seen; i++) {
        glow_entry_for(older_window(i));
    }
    watch_pass(); // the census's windows get their entries
    return tables[seen] = glow_table;
}

uint64_t walked; // entries compared by listed_entry

// The lookup before the index: a walk of the list from its head.
GlowEntry *listed_entry(HWND window)
{
    for (GlowEntry *e = glow_table.head; e; e = e->next) {
        walked++;
        if (e->window == window) {
            return e;
        }
    }
    return nullptr;
}

void census_lookups()
{
    for (int32_t i = 0; i < window_census.count; i++) {
        benchmark::DoNotOptimize(glow_entry_for(window_census.handles[i]));
    }
}

void census_walks()
{
    for (int32_t i = 0; i < window_census.count; i++) {
        benchmark::DoNotOptimize(listed_entry(window_census.handles[i]));
    }
}

void pass_with_walks()
{
    watch_pass();
    census_walks();
}

using Work = void (*)();

double thread_seconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Seconds per call of work over the table that has seen no older window, over
// whole cycles of 32 idle passes (the first of each presents an empty frame) and
// at least a tenth of a second; the clock is read once per 1024 calls.
double first_seconds(Work work)
{
    glow_table = table_after(0);
    int64_t calls = 0;
    const double start = thread_seconds();
    do {
        for (int i = 0; i < 1024; i++) {
            work();
        }
        calls += 1024;
    } while (thread_seconds() - start < 0.1);
    return (thread_seconds() - start) / static_cast<double>(calls);
}

void time_work(benchmark::State &state, Work work)
{
    const double first = first_seconds(work);
    glow_table = table_after(state.range(0));
    work();
    if (scene_changed || window_census.count != CENSUSED) {
        state.SkipWithError("the pass is not an idle pass over the 30 windows");
        return;
    }
    const uint64_t compared = glow_table.compared + walked;
    const double start = thread_seconds();
    for (auto _ : state) {
        work();
    }
    const double seconds = thread_seconds() - start;
    const double iterations = static_cast<double>(state.iterations());
    state.counters["entries"] = static_cast<double>(glow_table.count);
    state.counters["compared"] = static_cast<double>(glow_table.compared + walked - compared) / (iterations * CENSUSED);
    state.counters["vs_first"] = seconds / iterations / first;
}

void idle_pass(benchmark::State &state)
{
    time_work(state, watch_pass);
}

void lookups_only(benchmark::State &state)
{
    time_work(state, census_lookups);
}

void walks_only(benchmark::State &state)
{
    time_work(state, census_walks);
}

void idle_pass_walking(benchmark::State &state)
{
    time_work(state, pass_with_walks);
}

void seen_sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(0)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(idle_pass)->Apply(seen_sizes);
BENCHMARK(lookups_only)->Apply(seen_sizes);
BENCHMARK(walks_only)->Apply(seen_sizes);
BENCHMARK(idle_pass_walking)->Apply(seen_sizes);

} // namespace

BENCHMARK_MAIN();
