// The glow table: one entry per window handle ever looked up, holding the light
// level that the watch loop sets and the renderer lets decay, and the index that
// finds an entry in a probe or two however many windows the table has seen.
#pragma once

#include <windows.h>

#include <cstdint>

// Slots of the first index, taken with the first entry: a desktop's first few
// hundred windows fit it without a growth (4 KiB on 32 bits).
inline constexpr uint32_t GLOW_INDEX_FIRST_CAPACITY = 1024;

struct GlowEntry {
    float glow;      // 0.0..1.0
    HWND window;     // the key; null is a key like any other
    GlowEntry *next; // entry created after this one; null for the last
    // Read by nothing in the program; the tests check the links with it.
    GlowEntry *prev; // entry created before this one; null for the first
};

// An open-addressing hash of handles to entries beside the list: linear probing,
// Robin Hood placement, no removal. It holds the list's first `filled` entries; the entries
// from `unindexed` on are there only while the heap refuses the index room to grow,
// and lookups walk them.
struct GlowIndex {
    GlowEntry **slots;    // capacity pointers, null where free; null before the first entry
    uint32_t capacity;    // 0 or a power of two, at most 3/4 full
    int32_t shift;        // 64 - log2(capacity): the hash's top bits choose the slot
    int32_t filled;       // entries in slots: the first filled entries of the list
    GlowEntry *unindexed; // the first entry of the list not in slots; null when none is
};

// Entries in creation order; they are never removed or freed.
struct GlowTable {
    GlowEntry *head;
    GlowEntry *tail;
    int32_t count;
    GlowIndex index;
    // Read by nothing in the program: the tests and the bench measure lookups with it.
    uint64_t compared; // entries compared by handle lookups since start
};

extern GlowTable glow_table;

// Returns the entry of window, appending a new one with glow 0.0 if it has none.
// The pointer stays valid for the life of the process and is never null.
GlowEntry *glow_entry_for(HWND window);
