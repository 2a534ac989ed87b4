// The glow table: a list of entries in creation order and a hash index beside it,
// so a lookup costs the same after a million windows as after ten. Entries and
// index slots come from the heap and are never freed; pointers to entries never go
// stale.
#include "tracking/glow.h"

#include <bit>

GlowTable glow_table;

// A slot array of this many pointers still has a size that fits 32 bits; a table
// that outgrows it (200 million windows) walks its newer entries instead.
const uint32_t MAX_CAPACITY = 1u << 28;
// The two rounds of a well-known 64-bit mixer: every bit of a handle moves the top
// bits that choose the slot, so handles that differ only in their low bits, only in
// their high bits, or in a run all spread evenly. A single multiplication does not
// spread handles that differ only above bit 16.
const uint64_t MIX_FIRST = 0xBF58476D1CE4E5B9u;
const uint64_t MIX_SECOND = 0x94D049BB133111EBu;

namespace {

// Handed out when the heap cannot give a new entry, so callers never see null. It
// is never linked into the table: its handle gets a real entry once memory is back,
// and until then the glow written through it lights nothing for long.
GlowEntry spare_entry;

// The number of entries an index of this capacity may hold: 3/4 of its slots, so
// every probe sequence meets a free slot and stays short.
int32_t room_in(uint32_t capacity)
{
    return static_cast<int32_t>(capacity - capacity / 4);
}

uint32_t home_slot(HWND window, int32_t shift)
{
    uint64_t h = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window));
    h = (h ^ (h >> 30)) * MIX_FIRST;
    h = (h ^ (h >> 27)) * MIX_SECOND;
    return static_cast<uint32_t>((h ^ (h >> 31)) >> shift);
}

GlowEntry *indexed_entry(HWND window)
{
    const GlowIndex &index = glow_table.index;
    if (!index.slots) {
        return nullptr;
    }
    const uint32_t mask = index.capacity - 1;
    for (uint32_t at = home_slot(window, index.shift);; at = (at + 1) & mask) {
        GlowEntry *e = index.slots[at];
        if (!e) {
            return nullptr;
        }
        glow_table.compared++;
        if (e->window == window) {
            return e;
        }
    }
}

// The entries that a refused growth left out of the index, walked as the plain
// list was; none while the heap gives.
GlowEntry *unindexed_entry(HWND window)
{
    for (GlowEntry *e = glow_table.index.unindexed; e; e = e->next) {
        glow_table.compared++;
        if (e->window == window) {
            return e;
        }
    }
    return nullptr;
}

// Puts an entry whose handle is in no slot yet into the index. An entry that has
// come further from its home slot than the one it meets takes that one's place, and
// the displaced entry goes on probing: the same probes in all, shared out evenly,
// so no window's lookup is left at the end of a long run.
void place(GlowEntry **slots, uint32_t capacity, int32_t shift, GlowEntry *entry)
{
    const uint32_t mask = capacity - 1;
    uint32_t at = home_slot(entry->window, shift);
    uint32_t distance = 0;
    while (GlowEntry *resident = slots[at]) {
        uint32_t resident_distance = (at - home_slot(resident->window, shift)) & mask;
        if (resident_distance < distance) {
            slots[at] = entry;
            entry = resident;
            distance = resident_distance;
        }
        at = (at + 1) & mask;
        distance++;
    }
    slots[at] = entry;
}

// Makes room in the index for one more entry by moving every entry, unindexed ones
// included, into slots of twice the size or more. When the heap refuses, the old
// index stays as it is and still finds everything it held. The old slots are not
// given back: nothing the program takes from the heap is.
void make_room()
{
    GlowIndex &index = glow_table.index;
    if (glow_table.count < room_in(index.capacity)) {
        return;
    }
    uint32_t capacity = index.capacity ? index.capacity * 2 : GLOW_INDEX_FIRST_CAPACITY;
    while (capacity <= MAX_CAPACITY && glow_table.count >= room_in(capacity)) {
        capacity *= 2;
    }
    if (capacity > MAX_CAPACITY) {
        return;
    }
    GlowEntry **slots = static_cast<GlowEntry **>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(capacity) * sizeof(GlowEntry *)));
    if (!slots) {
        return;
    }
    const int32_t shift = 64 - std::countr_zero(capacity);
    for (GlowEntry *e = glow_table.head; e; e = e->next) {
        place(slots, capacity, shift, e);
    }
    index = {slots, capacity, shift, glow_table.count, nullptr};
}

// Links a new entry behind the tail, then files it in the index, or, when the index
// had no room, leaves it to the walk.
void append(GlowEntry *entry, HWND window)
{
    GlowEntry *old_tail = glow_table.tail;
    if (old_tail) {
        old_tail->next = entry;
        glow_table.count++;
    } else {
        glow_table.head = entry;
        glow_table.count = 1;
    }
    glow_table.tail = entry;
    entry->next = nullptr;
    entry->prev = old_tail;
    entry->window = window;
    entry->glow = 0.0f;
    GlowIndex &index = glow_table.index;
    if (!index.unindexed && index.filled < room_in(index.capacity)) {
        place(index.slots, index.capacity, index.shift, entry);
        index.filled++;
    } else if (!index.unindexed) {
        index.unindexed = entry;
    }
}

} // namespace

GlowEntry *glow_entry_for(HWND window)
{
    if (GlowEntry *e = indexed_entry(window)) {
        return e;
    }
    if (GlowEntry *e = unindexed_entry(window)) {
        return e;
    }
    // The index grows before the entry is taken: a heap that refuses the large
    // block may still give the small one, which then waits for the walk.
    make_room();
    GlowEntry *entry = static_cast<GlowEntry *>(HeapAlloc(GetProcessHeap(), 0, sizeof(GlowEntry)));
    if (!entry) {
        spare_entry = {0.0f, window, nullptr, nullptr};
        return &spare_entry;
    }
    append(entry, window);
    return entry;
}
