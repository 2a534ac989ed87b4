// winmm over the simulated desktop: the one sound call, recorded with its flags.
#include "state.h"

#include <mmsystem.h>

using sim::hex;
using sim::state;

BOOL WINAPI sndPlaySoundA(LPCSTR sound, UINT flags)
{
    LOG("sndPlaySoundA " + hex(sound) + " " + std::to_string(flags));
    state().sounds_played.push_back({sound, flags});
    return TRUE;
}
