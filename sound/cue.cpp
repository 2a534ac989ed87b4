// Chooses between the two embedded sounds by the window's share of the virtual
// screen and starts it. SoundPair itself is generated from the assets at build
// time; the watch loop decides when a cue is due.
#include "sound/cue.h"

#include <windows.h>
#include <mmsystem.h>

#include <limits>

#include "host/shared.h"

// A share of 0/0 must be NaN and x/0 an infinity, as IEEE 754 says.
static_assert(std::numeric_limits<float>::is_iec559);

namespace {

// The area of a box in single precision. The sides are exact in 64 bits and their
// product exact in double up to 2^53, so wherever the 32-bit product is defined
// this is that product rounded once to float, as its conversion would be; beyond
// that it is the true area, rounded, instead of a product that wrapped around.
float area_of(int64_t width, int64_t height)
{
    return static_cast<float>(static_cast<double>(width) * static_cast<double>(height));
}

} // namespace

const unsigned char *choose_sound_cue(const RECT &rect)
{
    const float window =
        area_of(static_cast<int64_t>(rect.right) - rect.left, static_cast<int64_t>(rect.bottom) - rect.top);
    const float screen = area_of(screen_geometry.width, screen_geometry.height);
    const float share = window / screen;
    // Strictly greater: exactly 0.3 is small, and NaN compares false.
    if (share > LARGE_WINDOW_SHARE) {
        return SoundPair + FIRST_SOUND_OFFSET;
    }
    return SoundPair + SECOND_SOUND_OFFSET;
}

void play_sound_cue(const RECT &rect)
{
    // No SND_NOSTOP: a cue still playing gives way to the new one. The result is
    // not looked at; without a sound device the loop goes on in silence.
    sndPlaySoundA(reinterpret_cast<LPCSTR>(choose_sound_cue(rect)), SND_ASYNC | SND_MEMORY);
}
