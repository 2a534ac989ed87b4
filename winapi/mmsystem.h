// Stand-in for the one winmm call light makes, for native Linux builds.
#pragma once

#include <windows.h>

#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_NOSTOP 0x0010

BOOL WINAPI sndPlaySoundA(LPCSTR sound, UINT flags);
