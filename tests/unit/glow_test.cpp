// The glow table's list: creation order, one entry per handle, null as a key, and
// entries that outlive their windows.
#include "program_state.h"

#include <gtest/gtest.h>

#include <cstdint>

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
    for (int i = 0; i < n; i++)
        glow_entry_for(handle(0x10000 + 4 * (uintptr_t)i));
    for (int i = n - 1; i >= 0; i -= 7)
        glow_entry_for(handle(0x10000 + 4 * (uintptr_t)i));
    ASSERT_EQ(glow_table.count, n);
    int walked = 0;
    GlowEntry *previous = nullptr;
    for (GlowEntry *e = glow_table.head; e; e = e->next, walked++) {
        ASSERT_EQ(e->prev, previous);
        ASSERT_EQ(e->window, handle(0x10000 + 4 * (uintptr_t)walked));
        previous = e;
    }
    EXPECT_EQ(walked, n);
    EXPECT_EQ(glow_table.tail, previous);
}

} // namespace
