// The frame clock on the virtual performance counter, and the glow table when the
// heap runs dry.
#include "desktop_fixture.h"

#include <cmath>
#include <cstring>

namespace {

class ClockTest : public DesktopTest {};

// Each row: frequency, ticks between readings, and the exact single-precision step.
struct StepCase {
    const char *what;
    int64_t frequency;
    int64_t ticks;
    float step;
};

TEST_F(ClockTest, MeasuresPassesInUnitsOfTwentyMilliseconds)
{
    const StepCase cases[] = {
        {"20 ms", 10000000, 200000, 1.0f},
        {"40 ms", 10000000, 400000, 2.0f},
        // 31.2 is rounded to single precision before the multiplication by 0.05,
        // which lands one unit in the last place above the float nearest 1.56.
        {"31.2 ms", 10000000, 312000, std::nextafter(1.56f, 2.0f)},
        {"no tick", 10000000, 0, 0.0f},
    };
    for (const StepCase &c : cases) {
        sim::reset();
        sim::set_frequency(c.frequency);
        start_frame_clock();
        sim::advance_counter(c.ticks);
        float step = read_frame_step();
        EXPECT_EQ(std::memcmp(&step, &c.step, sizeof step), 0)
            << c.what << ": got " << step << ", expected " << c.step;
    }
}

TEST_F(ClockTest, ALongSuspendGivesAProportionalStep)
{
    start_frame_clock();
    sim::advance_counter(36000000000); // an hour at 10 MHz
    float step = read_frame_step();
    EXPECT_NEAR(step, 180000.0f, 1.0f);
}

TEST_F(ClockTest, EachReadingBecomesTheNextReference)
{
    sim::advance_counter(123456789);
    start_frame_clock();
    EXPECT_EQ(frame_clock.frequency, 10000000);
    EXPECT_EQ(frame_clock.previous_count, 123456789);
    sim::advance_counter(200000);
    EXPECT_EQ(read_frame_step(), 1.0f);
    EXPECT_EQ(read_frame_step(), 0.0f) << "two readings without a tick between them";
    sim::advance_counter(400000);
    EXPECT_EQ(read_frame_step(), 2.0f);
    EXPECT_EQ(frame_clock.latest_count, 123456789 + 600000);
    EXPECT_EQ(frame_clock.previous_count, frame_clock.latest_count);
}

TEST_F(ClockTest, ACounterWithoutFrequencyCountsNominalPasses)
{
    for (int64_t frequency : {int64_t(0), int64_t(-10000000)}) {
        sim::reset();
        sim::set_frequency(frequency);
        start_frame_clock();
        sim::advance_counter(200000);
        float step = read_frame_step();
        EXPECT_EQ(step, 1.0f) << "frequency " << frequency;
    }
}

TEST_F(ClockTest, StartsAtOneNominalPass)
{
    EXPECT_EQ(frame_step, 1.0f);
}

class GlowHeapTest : public DesktopTest {};

TEST_F(GlowHeapTest, AFailedAllocationNeverHandsOutNull)
{
    HWND a = reinterpret_cast<HWND>(0xA0);
    HWND b = reinterpret_cast<HWND>(0xB0);
    glow_entry_for(a)->glow = 0.5f;
    sim::fail_next_allocations(1);
    GlowEntry *spare = glow_entry_for(b);
    ASSERT_NE(spare, nullptr);
    spare->glow = 1.0f; // callers write through it as through any entry
    EXPECT_EQ(glow_table.count, 1) << "the spare is not linked into the table";
    EXPECT_EQ(glow_table.tail->next, nullptr);
    // Once the heap gives again the handle gets an entry of its own.
    GlowEntry *real = glow_entry_for(b);
    EXPECT_NE(real, spare);
    EXPECT_EQ(real->glow, 0.0f);
    EXPECT_EQ(glow_table.count, 2);
    EXPECT_EQ(glow_entry_for(a)->glow, 0.5f);
}

} // namespace
