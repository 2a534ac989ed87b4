// The frame clock: the real time between passes of the watch loop, in units of 20 ms,
// measured with the performance counter.
#pragma once

#include <cstdint>

struct FrameClock {
    int64_t previous_count; // counter at the previous reading, ticks
    int64_t latest_count;   // counter at the latest reading, ticks
    int64_t frequency;      // ticks per second, read once at the start
};

extern FrameClock frame_clock;

// Reads the counter's frequency and the starting count. Called once by the watch loop.
void start_frame_clock();

// Returns the time since the previous reading in units of 20 ms and makes this
// reading the previous one. A frequency that is zero or negative gives 1.0.
float read_frame_step();
