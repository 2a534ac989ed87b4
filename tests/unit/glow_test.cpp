// The glow table's list: creation order, one entry per handle, null as a key, and
// entries that outlive their windows; and its index, which finds a million
// entries again in a probe or two each.
#include "program_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

HWND handle(uintptr_t value)
{
    return reinterpret_cast<HWND>(value);
}

class GlowTest : public ::testing::Test {
protected:
    void SetUp() override { glow_table = {}; }
    void TearDown() override { glow_table = {}; }
};

TEST_F(GlowTest, FirstEntryIsHeadAndTail)
{
    GlowEntry *a = glow_entry_for(handle(0x1234));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(glow_table.head, a);
    EXPECT_EQ(glow_table.tail, a);
    EXPECT_EQ(glow_table.count, 1);
    EXPECT_EQ(a->glow, 0.0f);
    EXPECT_EQ(a->window, handle(0x1234));
    EXPECT_EQ(a->next, nullptr);
    EXPECT_EQ(a->prev, nullptr);
}

TEST_F(GlowTest, LinksEntriesInCreationOrderOncePerHandle)
{
    GlowEntry *a = glow_entry_for(handle(0xA0));
    a->glow = 0.5f;
    GlowEntry *b = glow_entry_for(handle(0xB0));
    GlowEntry *again = glow_entry_for(handle(0xA0));
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->glow, 0.5f);
    EXPECT_EQ(glow_table.count, 2);
    EXPECT_EQ(glow_table.head, a);
    EXPECT_EQ(glow_table.tail, b);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(b->prev, a);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(a->prev, nullptr);
}

TEST_F(GlowTest, NullIsAKeyLikeAnyOther)
{
    glow_entry_for(handle(0xA0));
    GlowEntry *none = glow_entry_for(nullptr);
    EXPECT_EQ(none->window, nullptr);
    EXPECT_EQ(glow_table.count, 2);
    EXPECT_EQ(glow_entry_for(nullptr), none);
    EXPECT_EQ(glow_table.count, 2);
}

TEST_F(GlowTest, AReusedHandleFindsTheOldEntry)
{
    // The platform may hand a destroyed window's handle to a new window; the
    // table cannot tell them apart, and the new window inherits the glow.
    GlowEntry *old = glow_entry_for(handle(0xC0));
    old->glow = 0.75f;
    glow_entry_for(handle(0xD0));
    EXPECT_EQ(glow_entry_for(handle(0xC0))->glow, 0.75f);
}

TEST_F(GlowTest, ManyHandlesKeepTheListWhole)
{
    const int n = 500;
    for (int i = 0; i < n; i++) glow_entry_for(handle(0x10000 + 4 * static_cast<uintptr_t>(i)));
    for (int i = n - 1; i >= 0; i -= 7) glow_entry_for(handle(0x10000 + 4 * static_cast<uintptr_t>(i)));
    ASSERT_EQ(glow_table.count, n);
    int walked = 0;
    GlowEntry *previous = nullptr;
    for (GlowEntry *e = glow_table.head; e; e = e->next, walked++) {
        ASSERT_EQ(e->prev, previous);
        ASSERT_EQ(e->window, handle(0x10000 + 4 * static_cast<uintptr_t>(walked)));
        previous = e;
    }
    EXPECT_EQ(walked, n);
    EXPECT_EQ(glow_table.tail, previous);
}

// Each row: how the handles are spaced and how many there are. Real handles
// differ in their low bits (a handle table's index) or in their high bits (an
// upper word that counts reuses); every spacing must spread over the slots.
struct SpacingCase {
    const char *what;
    uintptr_t first;
    uintptr_t stride;
    int count;
};

TEST_F(GlowTest, EveryHandleIsFoundAgainInAFewProbes)
{
    const SpacingCase cases[] = {
        {"a million handles 4 apart, as the platform hands them out", 0x10000, 4, 1000000},
        {"handles 16 apart", 0x400000, 16, 100000},
        {"handles that differ only above bit 16", 0x10000, 0x10000, 60000},
        {"a run down from the top of the address space", UINTPTR_MAX - 4 * 50000, 4, 50000},
    };
    for (const SpacingCase &c : cases) {
        SCOPED_TRACE(c.what);
        glow_table = {};
        std::vector<GlowEntry *> made(static_cast<size_t>(c.count));
        for (int i = 0; i < c.count; i++) {
            made[static_cast<size_t>(i)] = glow_entry_for(handle(c.first + c.stride * static_cast<uintptr_t>(i)));
            made[static_cast<size_t>(i)]->glow = static_cast<float>(i % 100) / 100.0f;
        }
        ASSERT_EQ(glow_table.count, c.count);
        const uint64_t compared = glow_table.compared;
        for (int i = 0; i < c.count; i++)
            ASSERT_EQ(glow_entry_for(handle(c.first + c.stride * static_cast<uintptr_t>(i))), made[i])
                << "handle " << i << " did not find the entry it was given";
        double per_lookup = static_cast<double>(glow_table.compared - compared) / c.count;
        EXPECT_LE(per_lookup, 2.5) << "entries compared per lookup";
        EXPECT_EQ(glow_table.count, c.count) << "a lookup appended a second entry";
        // Creation order along the list, and the glows written through the entries.
        int walked = 0;
        GlowEntry *previous = nullptr;
        for (GlowEntry *e = glow_table.head; e; e = e->next, walked++) {
            ASSERT_LT(walked, c.count);
            ASSERT_EQ(e, made[static_cast<size_t>(walked)]) << "list position " << walked;
            ASSERT_EQ(e->prev, previous);
            ASSERT_EQ(e->glow, static_cast<float>(walked % 100) / 100.0f);
            previous = e;
        }
        EXPECT_EQ(walked, c.count);
        EXPECT_EQ(glow_table.tail, previous);
        // At most 8/3 slots per entry: the index doubles only when 3/4 full.
        EXPECT_LT(3 * static_cast<int64_t>(glow_table.index.capacity), 8 * static_cast<int64_t>(c.count))
            << "capacity " << glow_table.index.capacity;
    }
}

} // namespace
