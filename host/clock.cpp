// The frame clock: milliseconds between readings of the performance counter,
// divided by 20, in single precision.
#include "host/clock.h"

#include "host/shared.h"

#include <windows.h>

FrameClock frame_clock;
float frame_step = 1.0f;

const int64_t MILLISECONDS_PER_SECOND = 1000;
const float STEP_PER_MILLISECOND = 0.05f; // one step is a nominal 20 ms pass

void start_frame_clock()
{
    LARGE_INTEGER value;
    value.QuadPart = 0;
    QueryPerformanceFrequency(&value);
    frame_clock.frequency = value.QuadPart;
    value.QuadPart = 0;
    QueryPerformanceCounter(&value);
    frame_clock.previous_count = value.QuadPart;
}

float read_frame_step()
{
    LARGE_INTEGER value;
    value.QuadPart = frame_clock.previous_count;
    QueryPerformanceCounter(&value);
    frame_clock.latest_count = value.QuadPart;
    // The factor 1000 is applied to the ticks before any conversion; the product
    // wraps modulo 2^64 like the platform's own 64-bit arithmetic would.
    uint64_t elapsed =
        static_cast<uint64_t>(frame_clock.latest_count) - static_cast<uint64_t>(frame_clock.previous_count);
    int64_t scaled = static_cast<int64_t>(elapsed * static_cast<uint64_t>(MILLISECONDS_PER_SECOND));
    frame_clock.previous_count = frame_clock.latest_count;
    // A counter without a positive frequency cannot measure: count a nominal pass
    // rather than hand out an infinite or NaN step.
    if (frame_clock.frequency <= 0) {
        return 1.0f;
    }
    float milliseconds = static_cast<float>(scaled) / static_cast<float>(frame_clock.frequency);
    return milliseconds * STEP_PER_MILLISECOND;
}
