// The glow table: a list of entries in creation order, searched from the head.
// Entries live for the whole process; pointers to them never go stale.
#include "tracking/glow.h"

GlowTable glow_table;

// Handed out when the heap cannot give a new entry, so callers never see null. It
// is never linked into the table: its handle gets a real entry once memory is back,
// and until then the glow written through it lights nothing for long.
static GlowEntry spare_entry;

GlowEntry *glow_entry_for(HWND window)
{
    for (GlowEntry *e = glow_table.head; e; e = e->next)
        if (e->window == window)
            return e;
    GlowEntry *entry = static_cast<GlowEntry *>(HeapAlloc(GetProcessHeap(), 0, sizeof(GlowEntry)));
    if (!entry) {
        spare_entry = {0.0f, window, nullptr, nullptr};
        return &spare_entry;
    }
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
    return entry;
}
