// play_sound_cue against the stand-in's record of sndPlaySoundA: the chosen file
// started in place, asynchronously from memory, one call per cue, with the share
// taken against the virtual screen as the program measured it.
#include "desktop_fixture.h"

#include "sound/cue.h"

#include <cstring>

namespace {

class SoundCueTest : public DesktopTest {};

TEST_F(SoundCueTest, StartsTheChosenFileInPlaceAsynchronously)
{
    // Two 1920 x 1080 monitors side by side, the primary on the right.
    sim::set_virtual_screen(-1920, 0, 3840, 1080);
    measure_screen();

    const RECT maximized = {-13, -13, 1933, 1053}; // on the primary, frame overhang and inflation
    const RECT dialog = {100, 100, 740, 580};
    play_sound_cue(maximized);
    play_sound_cue(dialog);
    play_sound_cue(dialog); // a repeat is a new cue, cutting off the one before

    const std::vector<sim::SoundCall> &calls = sim::desktop().sounds_played;
    ASSERT_EQ(calls.size(), 3u);
    const unsigned char *expected[3] = {SoundPair + FIRST_SOUND_OFFSET, SoundPair + SECOND_SOUND_OFFSET,
                                        SoundPair + SECOND_SOUND_OFFSET};
    for (int i = 0; i < 3; ++i) {
        // SND_ASYNC | SND_MEMORY and nothing else: no SND_NOSTOP.
        EXPECT_EQ(calls[i].flags, 5u) << "call " << i;
        // The file inside SoundPair itself, not a copy of it.
        EXPECT_EQ(calls[i].sound, expected[i]) << "call " << i;
        EXPECT_EQ(std::memcmp(calls[i].sound, "RIFF", 4), 0) << "call " << i;
    }
}

} // namespace
