// The frame clock on the virtual performance counter, and the glow table when the
// heap runs dry: for an entry, for the index's growth, or for both at once.
#include "desktop_fixture.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

class ClockTest : public DesktopTest {};

// Each row: ticks of a 10 MHz counter between readings, and the exact
// single-precision step.
struct StepCase {
    int64_t ticks;
    float step;
};

TEST_F(ClockTest, MeasuresPassesInUnitsOfTwentyMilliseconds)
{
    const StepCase cases[] = {
        {200000, 1.0f}, // 20 ms
        {400000, 2.0f}, // 40 ms
        // 31.2 ms: 31.2, rounded to single precision before the multiplication by
        // 0.05, lands one unit in the last place above the float nearest 1.56.
        {312000, std::nextafter(1.56f, 2.0f)},
        {0, 0.0f}, // no tick
    };
    for (const StepCase &c : cases) {
        sim::reset();
        sim::set_frequency(10000000);
        start_frame_clock();
        sim::advance_counter(c.ticks);
        float step = read_frame_step();
        EXPECT_EQ(std::memcmp(&step, &c.step, sizeof step), 0)
            << c.ticks << " ticks: got " << step << ", expected " << c.step;
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
    for (int64_t frequency : {static_cast<int64_t>(0), static_cast<int64_t>(-10000000)}) {
        sim::reset();
        sim::set_frequency(frequency);
        start_frame_clock();
        sim::advance_counter(200000);
        float step = read_frame_step();
        EXPECT_EQ(step, 1.0f) << "frequency " << frequency;
    }
}

// Start-up measures no time, however long it takes: the first pass decays the
// glow it lights by one nominal pass, and only then reads the clock.
TEST_F(ClockTest, StartsAtOneNominalPass)
{
    HWND a = sim::add_window(framed_window({100, 50, 500, 350}));
    sim::set_foreground(a);
    start_up(INSTANCE);
    sim::advance_counter(36000000000); // an hour before the worker starts
    start_watch();
    EXPECT_EQ(frame_step, 1.0f) << "after start-up";
    sim::advance_counter(36000000000); // and another before its first pass
    watch_pass();
    EXPECT_EQ(glow_entry_for(a)->glow, 0.96f) << "the first frame's decay";
    EXPECT_GT(frame_step, 100000.0f) << "measured after the first frame";
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

// Each row: the new handle before which the heap starts refusing, how many
// allocations it refuses for each new handle, for how many new handles in a row,
// and what that must leave: handles given the spare entry, and entries left out of
// the index for the walk. A new handle first asks for the index's growth (when the
// index is full) and then for its entry, so one refusal hits the growth where one
// is due and the entry elsewhere.
struct RefusalCase {
    const char *what;
    int first;
    int refusals;
    int stretch;
    int spares;
    bool walked;
};

HWND handle_number(int i)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x20000 + 4 * i));
}

// Every handle that has an entry finds that same entry, and the list holds each of
// them once, in the order they were made.
void expect_all_found(const std::vector<GlowEntry *> &made, const std::vector<int> &order)
{
    for (size_t i = 0; i < made.size(); i++) {
        if (made[i]) {
            ASSERT_EQ(glow_entry_for(handle_number(static_cast<int>(i))), made[i]) << "handle " << i;
        }
    }
    ASSERT_EQ(glow_table.count, static_cast<int32_t>(order.size()));
    size_t at = 0;
    for (GlowEntry *e = glow_table.head; e; e = e->next, at++) {
        ASSERT_LT(at, order.size()) << "the list is longer than the entries made";
        ASSERT_EQ(e->window, handle_number(order[at])) << "list position " << at;
    }
    EXPECT_EQ(at, order.size());
}

TEST_F(GlowHeapTest, ARefusedEntryOrGrowthLosesNothing)
{
    const int room = GLOW_INDEX_FIRST_CAPACITY / 4 * 3; // entries before the first growth
    const RefusalCase cases[] = {
        {"the first index refused: the first entry waits for the walk", 0, 1, 1, 0, true},
        {"the first index and the first entry refused", 0, 2, 1, 1, false},
        {"an entry refused while the index has room", 500, 1, 1, 1, false},
        {"the first growth refused once", room, 1, 1, 0, true},
        {"the first growth refused for 300 new handles", room, 1, 300, 0, true},
        {"a growth and its entry refused together", room, 2, 1, 1, false},
        {"the second growth refused for 50 new handles", 2 * room, 1, 50, 0, true},
        {"everything refused for 40 new handles at a full index", room, 5, 40, 40, false},
    };
    const int handles = 4000;
    for (const RefusalCase &c : cases) {
        SCOPED_TRACE(c.what);
        sim::reset();
        reset_program_state();
        std::vector<GlowEntry *> made(static_cast<size_t>(handles), nullptr);
        std::vector<int> order;
        int spares = 0;
        for (int i = 0; i < handles; i++) {
            if (i == c.first + c.stretch) {
                // Right after the refusals, before any growth: every entry is found.
                EXPECT_EQ(glow_table.index.unindexed != nullptr, c.walked)
                    << glow_table.index.filled << " of " << glow_table.count << " entries indexed";
                expect_all_found(made, order);
            }
            if (i >= c.first && i < c.first + c.stretch) sim::fail_next_allocations(c.refusals);
            GlowEntry *e = glow_entry_for(handle_number(i));
            sim::fail_next_allocations(0);
            ASSERT_NE(e, nullptr);
            ASSERT_EQ(e->window, handle_number(i));
            if (glow_table.tail != e) {
                spares++;
                continue;
            }
            made[static_cast<size_t>(i)] = e;
            order.push_back(i);
        }
        EXPECT_EQ(spares, c.spares);
        expect_all_found(made, order);
        // The handles that got the spare get real entries now, behind the others.
        for (int i = 0; i < handles; i++)
            if (!made[static_cast<size_t>(i)]) {
                made[static_cast<size_t>(i)] = glow_entry_for(handle_number(i));
                order.push_back(i);
            }
        expect_all_found(made, order);
        EXPECT_EQ(glow_table.index.unindexed, nullptr) << "the heap gives again, the index holds all";
        EXPECT_EQ(glow_table.index.filled, glow_table.count);
    }
}

} // namespace
