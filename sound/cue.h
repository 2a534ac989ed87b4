// The sound cues of the sounded build: two RIFF/WAVE files held in the program's
// data, one of which is started at each change of foreground window. When a cue is
// due is the watch loop's business; the block itself is generated at build time.
#pragma once

#include <windows.h>

#include <cstdint>

inline constexpr uint32_t FIRST_SOUND_BYTES = 101472;  // short sound, large windows
inline constexpr uint32_t SECOND_SOUND_BYTES = 206784; // long sound, small windows
inline constexpr uint32_t FIRST_SOUND_OFFSET = 8;      // behind the two length words
inline constexpr uint32_t SECOND_SOUND_OFFSET = FIRST_SOUND_OFFSET + FIRST_SOUND_BYTES;
inline constexpr uint32_t SOUND_PAIR_BYTES = SECOND_SOUND_OFFSET + SECOND_SOUND_BYTES;
inline constexpr float LARGE_WINDOW_SHARE = 0.3f; // of the virtual screen's area

// Two little-endian length words, then the two files back to back, each starting
// on a 4-byte boundary. Made at build time from assets/sounds/short.wav and
// long.wav; constant and in place for the whole process, because a sound plays on
// from these bytes after play_sound_cue has returned.
extern const unsigned char SoundPair[SOUND_PAIR_BYTES];

// The first byte ("RIFF") of the sound for a window rectangle: the short sound when
// the window covers more than 0.3 of the virtual screen, else the long one. Reads
// screen_geometry.width and height. Called by play_sound_cue and by tests.
//
// The share is taken in single precision from the two areas, so exactly 0.3 is not
// large, and a share that is not a number (both areas 0) picks the long sound. An
// inverted side counts negative, as its 32-bit difference does. Rectangles whose
// area does not fit in 32 bits are measured with their true area, so a window far
// larger than the screen is large.
const unsigned char *choose_sound_cue(const RECT &rect);

// Starts the chosen sound asynchronously from memory and returns at once; a cue
// still playing is cut off. Called by the watch loop on a change of foreground
// window that is not the desktop, in the sounded build only.
void play_sound_cue(const RECT &rect);
