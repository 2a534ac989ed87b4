// The embedded sound pair and the choice between its two sounds: the block's layout
// byte for byte, the share rule around 0.3 of the virtual screen, and what a
// listener would notice about the sounds themselves.
#include "program_state.h"

#include "sound/cue.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "host/overlay.h"

namespace {

uint32_t word_at(uint32_t offset)
{
    const unsigned char *p = SoundPair + offset;
    return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint32_t half_at(uint32_t offset)
{
    return SoundPair[offset] | static_cast<uint32_t>(SoundPair[offset + 1]) << 8;
}

struct Sound {
    const char *name;
    uint32_t offset;      // of "RIFF" in SoundPair
    uint32_t frames;      // stereo sample frames
    uint32_t riff_size;   // file length less 8
    uint32_t data_length; // bytes of samples
};

const Sound SOUNDS[] = {
    {"short", 8, 25357, 101464, 101428},
    {"long", 101480, 51685, 206776, 206740},
};

const uint32_t SAMPLES_AT = 44; // offset of the first sample in each file
const int EDGE_FRAMES = 220;    // 5 ms

int32_t sample(const Sound &s, uint32_t frame, int channel)
{
    return static_cast<int16_t>(half_at(s.offset + SAMPLES_AT + 4 * frame + 2 * channel));
}

TEST(SoundPair, LengthWordsAndPlacesOfTheFiles)
{
    EXPECT_EQ(sizeof(SoundPair), 308264u);
    EXPECT_EQ(word_at(0), 101472u);
    EXPECT_EQ(word_at(4), 206784u);
    // The second file starts right behind the first and ends the block.
    EXPECT_EQ(8 + word_at(0), SOUNDS[1].offset);
    EXPECT_EQ(8 + word_at(0) + word_at(4), sizeof(SoundPair));
    // Both files start on a 4-byte boundary.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(SoundPair + SOUNDS[0].offset) % 4, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(SoundPair + SOUNDS[1].offset) % 4, 0u);
}

TEST(SoundPair, EveryHeaderFieldOfBothFiles)
{
    for (const Sound &s : SOUNDS) {
        SCOPED_TRACE(s.name);
        const struct {
            uint32_t at;
            const char *tag;
        } tags[] = {{0, "RIFF"}, {8, "WAVE"}, {12, "fmt "}, {36, "data"}};
        for (const auto &t : tags) EXPECT_EQ(std::memcmp(SoundPair + s.offset + t.at, t.tag, 4), 0) << "tag " << t.tag;

        const struct {
            uint32_t at;
            int size;
            uint32_t value;
            const char *what;
            // clang-format off
        } fields[] = {
            {4, 4, s.riff_size, "RIFF size"},       {16, 4, 16, "format chunk size"},
            {20, 2, 1, "format tag (PCM)"},         {22, 2, 2, "channels"},
            {24, 4, 44100, "samples per second"},   {28, 4, 176400, "bytes per second"},
            {32, 2, 4, "block align"},              {34, 2, 16, "bits per sample"},
            {40, 4, s.data_length, "data length"},
        };
        // clang-format on
        for (const auto &f : fields) {
            const uint32_t seen = f.size == 4 ? word_at(s.offset + f.at) : half_at(s.offset + f.at);
            EXPECT_EQ(seen, f.value) << f.what << " at offset " << f.at;
        }
        EXPECT_EQ(s.data_length, s.frames * 4);
        EXPECT_EQ(s.riff_size, SAMPLES_AT + s.data_length - 8);
    }
}

enum Cue { LONG, SHORT };

struct ChoiceCase {
    int32_t screen_width;
    int32_t screen_height;
    RECT rect;
    Cue cue;
    const char *what;
};

const ChoiceCase CHOICES[] = {
    // Exactly 0.3 is not above it (and 0.3f compared with a double 0.3 would be).
    {1920, 1080, {0, 0, 576, 1080}, LONG, "exactly 0.3"},
    {1920, 1080, {0, 0, 577, 1080}, SHORT, "one column above 0.3"},
    {1920, 1080, {0, 0, 622081, 1}, SHORT, "one pixel above 0.3"},
    // 0.30000002 rounds to 0.3f: the share is compared in single precision.
    {10000, 10000, {0, 0, 30000002, 1}, LONG, "above 0.3 only in double"},
    // Maximized with its frame hanging 8 off the monitor, inflated by 5.
    {3840, 1080, {-13, -13, 1933, 1053}, SHORT, "maximized on one of two monitors (0.50)"},
    {3840, 2160, {-13, -13, 1933, 1053}, LONG, "maximized on one of four monitors (0.25)"},
    {1920, 1080, {500, 500, 500, 900}, LONG, "window of no area"},
    {0, 0, {0, 0, 0, 0}, LONG, "0 / 0 is not a number"},
    {0, 0, {0, 0, 100, 100}, SHORT, "a window on a screen of no area is infinitely large"},
    // An inverted side counts negative, as the 32-bit difference does.
    {1920, 1080, {1920, 0, 0, 1080}, LONG, "one side inverted: negative share"},
    {1920, 1080, {1920, 1080, 0, 0}, SHORT, "both sides inverted: positive area"},
    // Areas beyond 32 bits keep their true size; a wrapped product would not.
    {1920, 1080, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, SHORT, "sides 2^32 - 1 (wrap: area 1)"},
    {1920, 1080, {0, 0, 65536, 65536}, SHORT, "area 2^32 (wrap: 0)"},
    {1920, 1080, {0, 0, 65536, 32768}, SHORT, "area 2^31 (wrap: negative)"},
    {1920, 1080, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, SHORT, "both sides inverted, absurd"},
    {1920, 1080, {INT_MAX, 0, INT_MIN, 1080}, LONG, "one side inverted, absurd"},
    {INT_MAX, INT_MAX, {0, 0, 1920, 1080}, LONG, "screen area beyond 32 bits"},
};

TEST(SoundCue, ChoiceByShareOfTheVirtualScreen)
{
    const ProgramStateGuard saved;
    const unsigned char *sounds[2] = {SoundPair + SOUNDS[1].offset, SoundPair + SOUNDS[0].offset};
    for (const ChoiceCase &c : CHOICES) {
        screen_geometry.width = c.screen_width;
        screen_geometry.height = c.screen_height;
        const unsigned char *chosen = choose_sound_cue(c.rect);
        EXPECT_EQ(chosen, sounds[c.cue]) << c.what << ": got "
                                         << (chosen == sounds[SHORT]  ? "short"
                                             : chosen == sounds[LONG] ? "long"
                                                                      : "neither")
                                         << " sound for {" << c.rect.left << ", " << c.rect.top << ", " << c.rect.right
                                         << ", " << c.rect.bottom << "} on " << c.screen_width << " x "
                                         << c.screen_height;
    }
}

// What someone hearing the cues all day would notice: level, clipping, clicks at
// the ends, a DC offset, mono pretending to be stereo, two sounds alike.
TEST(SoundPair, SoundsAreCleanAndDistinct)
{
    double crossings_per_frame[2] = {};
    for (int n = 0; n < 2; ++n) {
        const Sound &s = SOUNDS[n];
        SCOPED_TRACE(s.name);
        int32_t peak = 0;
        int32_t widest_difference = 0;
        int64_t sums[2] = {};
        int crossings = 0;
        for (uint32_t f = 0; f < s.frames; ++f) {
            for (int ch = 0; ch < 2; ++ch) {
                const int32_t v = sample(s, f, ch);
                ASSERT_LT(std::abs(v), 32767) << "clipped sample at frame " << f << " channel " << ch;
                peak = std::max(peak, std::abs(v));
                sums[ch] += v;
            }
            widest_difference = std::max(widest_difference, std::abs(sample(s, f, 0) - sample(s, f, 1)));
            if (f > 0 && (sample(s, f - 1, 0) < 0) != (sample(s, f, 0) < 0)) ++crossings;
        }
        crossings_per_frame[n] = static_cast<double>(crossings) / s.frames;

        // Between -6 and -1 dBFS.
        EXPECT_GE(peak, 16423) << 20.0 * std::log10(peak / 32768.0) << " dBFS";
        EXPECT_LE(peak, 29204) << 20.0 * std::log10(peak / 32768.0) << " dBFS";
        // DC offset under 0.1% of full scale in each channel.
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_LT(std::llabs(sums[ch]) * 1000, static_cast<int64_t>(32768) * s.frames)
                << "channel " << ch << " mean " << static_cast<double>(sums[ch]) / s.frames;
        EXPECT_GT(widest_difference, 327) << "left and right are the same sound";
        // The first and last 5 ms rise from and fall to silence no faster than a
        // straight ramp to full scale: no click at either end.
        for (int i = 0; i <= EDGE_FRAMES; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const int32_t head = sample(s, i, ch);
                const int32_t tail = sample(s, s.frames - 1 - i, ch);
                ASSERT_LE(std::abs(head) * EDGE_FRAMES, 32767 * i)
                    << "frame " << i << " channel " << ch << " is " << head;
                ASSERT_LE(std::abs(tail) * EDGE_FRAMES, 32767 * i)
                    << "frame " << i << " from the end, channel " << ch << ", is " << tail;
            }
    }
    // The short sound, for large windows, is the clearly brighter one.
    EXPECT_GT(crossings_per_frame[0], 1.5 * crossings_per_frame[1]);
}

} // namespace
