// The glow table: one entry per window handle ever looked up, holding the light
// level that the watch loop sets and the renderer lets decay.
#pragma once

#include <windows.h>

#include <cstdint>

struct GlowEntry {
    float glow;      // 0.0..1.0
    HWND window;     // the key; null is a key like any other
    GlowEntry *next; // entry created after this one; null for the last
    GlowEntry *prev; // entry created before this one; null for the first
};

// Entries in creation order; they are never removed or freed.
struct GlowTable {
    GlowEntry *head;
    GlowEntry *tail;
    int32_t count;
};

extern GlowTable glow_table;

// Returns the entry of window, appending a new one with glow 0.0 if it has none.
// The pointer stays valid for the life of the process and is never null.
GlowEntry *glow_entry_for(HWND window);
