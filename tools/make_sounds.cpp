// Synthesizes the two cue sounds into assets/sounds/short.wav and long.wav: the
// short one a soft, bright rising pair of chime notes for large windows, the long
// one a mellow struck tone with a natural decay for small windows. The build embeds
// the files; this tool only makes them.
//
// The bytes are the same on every run and every machine: phases are integer
// accumulators, and all other arithmetic is IEEE double addition, subtraction,
// multiplication and division, each correctly rounded. Sine and exponential are
// polynomials below, not the C library's, and tools/make-sounds builds with
// -ffp-contract=off (no fused multiply-add) on x86-64, where double is SSE2.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int SAMPLE_RATE = 44100;  // sample frames per second
const int SHORT_FRAMES = 25357; // about 0.575 s
const int LONG_FRAMES = 51685;  // about 1.172 s
const int EDGE_FRAMES = 220;    // 5 ms of fade at each end
const double FULL_SCALE = 32767.0;
const double PI = 3.14159265358979323846;

// Stereo signal before quantization, in units of full scale.
struct Signal {
    std::vector<double> left;
    std::vector<double> right;
};

// One struck partial: a sine that rises over attack_ms and then decays
// exponentially with time constant decay_s, starting at start_s.
struct Partial {
    double frequency; // Hz
    double level;     // relative amplitude
    double decay_s;   // seconds for the amplitude to fall to 1/e
    double start_s;   // seconds from the start of the sound
    double attack_ms; // rise time, raised cosine
};

// sin(2 pi x) for x in [0, 1/4], odd Taylor terms through x^15 in Horner form;
// the error is below 1e-12, far under one 16-bit step.
double quarter_sine(double x)
{
    const double a = 2.0 * PI * x;
    const double a2 = a * a;
    double sum = 1.0;
    for (int k = 15; k >= 3; k -= 2) {
        sum = 1.0 - a2 / static_cast<double>(k * (k - 1)) * sum;
    }
    return a * sum;
}

// Sine of a phase given as a 32-bit fraction of a turn.
double sine_of_phase(uint32_t phase)
{
    const uint32_t quadrant = phase >> 30;
    const uint32_t within = phase & 0x3FFFFFFFu;
    const double quarter = 1073741824.0; // 2^30
    const double x = (quadrant & 1u) ? (quarter - within) / (4.0 * quarter) : within / (4.0 * quarter);
    const double s = quarter_sine(x);
    return quadrant >= 2 ? -s : s;
}

// e^x for -1 <= x <= 0: Taylor series through x^20, ample for the tiny per-sample
// decay steps taken here.
double exp_small(double x)
{
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k <= 20; ++k) {
        term = term * x / static_cast<double>(k);
        sum = sum + term;
    }
    return sum;
}

// 0.5 - 0.5 cos(pi n / length): rises from 0 at n = 0 to 1 at n = length.
double raised_cosine(int n, int length)
{
    // cos(pi t) is the sine a quarter turn on, at half a turn per unit of t.
    return 0.5 - 0.5 * sine_of_phase(static_cast<uint32_t>(0x40000000u + (static_cast<uint64_t>(n) << 31) /
                                                                             static_cast<uint32_t>(length)));
}

// Phase step per sample for a frequency, as a 32-bit fraction of a turn.
uint32_t phase_step(double frequency)
{
    return static_cast<uint32_t>(frequency * 4294967296.0 / SAMPLE_RATE + 0.5);
}

// Adds one partial to a channel, scaled by gain.
void add_partial(std::vector<double> &channel, const Partial &p, double gain)
{
    const int start = static_cast<int>(p.start_s * SAMPLE_RATE + 0.5);
    const int attack = static_cast<int>(p.attack_ms * SAMPLE_RATE / 1000.0 + 0.5);
    const double fall = exp_small(-1.0 / (p.decay_s * SAMPLE_RATE));
    const uint32_t step = phase_step(p.frequency);
    uint32_t phase = 0;
    double envelope = p.level * gain;
    for (int i = start; i < static_cast<int>(channel.size()); ++i) {
        const int age = i - start;
        const double rise = age < attack ? raised_cosine(age, attack) : 1.0;
        channel[i] += envelope * rise * sine_of_phase(phase);
        phase += step;
        envelope *= fall;
    }
}

// Brings both channels to zero over the last tail_frames with a half cosine, so
// the sound ends in its own decay and not in a cut.
void taper_tail(Signal &signal, int tail_frames)
{
    const int count = static_cast<int>(signal.left.size());
    for (int i = count - tail_frames; i < count; ++i) {
        const double g = raised_cosine(count - 1 - i, tail_frames);
        signal.left[i] *= g;
        signal.right[i] *= g;
    }
}

// Scales to the wanted peak, fades the first and last 5 ms linearly from and to
// silence, and quantizes to 16-bit samples, left and right interleaved.
std::vector<int16_t> quantize(const Signal &signal, double peak)
{
    double highest = 0.0;
    for (const std::vector<double> *channel : {&signal.left, &signal.right}) {
        for (double v : *channel) {
            highest = v > highest ? v : (-v > highest ? -v : highest);
        }
    }
    const double scale = peak * FULL_SCALE / highest;
    const int count = static_cast<int>(signal.left.size());
    std::vector<int16_t> samples(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        double edge = 1.0;
        if (i < EDGE_FRAMES) {
            edge = static_cast<double>(i) / EDGE_FRAMES;
        }
        if (count - 1 - i < EDGE_FRAMES) {
            edge = static_cast<double>(count - 1 - i) / EDGE_FRAMES;
        }
        const double l = signal.left[i] * scale * edge;
        const double r = signal.right[i] * scale * edge;
        // Round half away from zero; no value can reach full scale after scaling.
        samples[2 * i] = static_cast<int16_t>(l < 0.0 ? -static_cast<int>(-l + 0.5) : static_cast<int>(l + 0.5));
        samples[2 * i + 1] = static_cast<int16_t>(r < 0.0 ? -static_cast<int>(-r + 0.5) : static_cast<int>(r + 0.5));
    }
    return samples;
}

// Two soft chime notes a fifth apart, A5 then E6, the first leaning left and the
// second right; a few quiet harmonics that fade faster give the brightness.
std::vector<int16_t> make_short_sound()
{
    Signal s{std::vector<double>(SHORT_FRAMES, 0.0), std::vector<double>(SHORT_FRAMES, 0.0)};
    const double notes[2] = {880.0, 1318.51};
    const double starts[2] = {0.0, 0.085};
    const double decays[2] = {0.11, 0.15};
    const double pans[2][2] = {{1.0, 0.7}, {0.7, 1.0}}; // left, right gains
    for (int n = 0; n < 2; ++n) {
        const Partial partials[] = {
            {notes[n], 1.0, decays[n], starts[n], 4.0},
            {notes[n] * 2.0, 0.22, decays[n] * 0.5, starts[n], 3.0},
            {notes[n] * 3.0, 0.07, decays[n] * 0.3, starts[n], 2.5},
            {notes[n] * 4.16, 0.025, decays[n] * 0.2, starts[n], 2.0},
        };
        for (const Partial &p : partials) {
            add_partial(s.left, p, pans[n][0]);
            add_partial(s.right, p, pans[n][1]);
        }
    }
    taper_tail(s, SAMPLE_RATE / 10);
    return quantize(s, 0.56); // about -5 dBFS
}

// A mellow struck tone on C5, like a soft mallet on a tuned bar: the upper partials
// die away first, leaving the fundamental to fade. The right channel is tuned
// 0.6 Hz higher, a slow shimmer between the ears.
std::vector<int16_t> make_long_sound()
{
    Signal s{std::vector<double>(LONG_FRAMES, 0.0), std::vector<double>(LONG_FRAMES, 0.0)};
    const double roots[2] = {523.25, 523.85}; // left, right
    for (int side = 0; side < 2; ++side) {
        std::vector<double> &channel = side == 0 ? s.left : s.right;
        const double f = roots[side];
        // clang-format off
        const Partial partials[] = {
            {f, 1.0, 0.42, 0.0, 9.0},
            {f * 2.0, 0.16, 0.2, 0.0, 7.0},
            {f * 3.0, 0.05, 0.11, 0.0, 6.0},
            {f * 3.93, 0.03, 0.06, 0.0, 5.0},
            {f * 0.5, 0.12, 0.5, 0.0, 20.0}, // a little body an octave below
        };
        // clang-format on
        for (const Partial &p : partials) {
            add_partial(channel, p, 1.0);
        }
    }
    taper_tail(s, SAMPLE_RATE / 4);
    return quantize(s, 0.7); // about -3 dBFS
}

void put16(std::vector<unsigned char> &out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<unsigned char> &out, uint32_t v)
{
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

void put_tag(std::vector<unsigned char> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

// A canonical PCM RIFF/WAVE file: "fmt " then "data", 44100 Hz, stereo, 16-bit.
std::vector<unsigned char> wave_file(const std::vector<int16_t> &samples)
{
    const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<unsigned char> out;
    put_tag(out, "RIFF");
    put32(out, 36 + data_bytes);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put32(out, 16);              // format chunk size
    put16(out, 1);               // PCM
    put16(out, 2);               // channels
    put32(out, SAMPLE_RATE);     // sample frames per second
    put32(out, SAMPLE_RATE * 4); // bytes per second
    put16(out, 4);               // bytes per sample frame
    put16(out, 16);              // bits per sample
    put_tag(out, "data");
    put32(out, data_bytes);
    for (int16_t v : samples) {
        put16(out, static_cast<uint16_t>(v));
    }
    return out;
}

bool write_file(const std::string &path, const std::vector<unsigned char> &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "make_sounds: cannot create %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

// Usage: make_sounds [directory]; writes short.wav and long.wav there
// (assets/sounds by default).
int main(int argc, char **argv)
{
    const std::string dir = argc > 1 ? argv[1] : "assets/sounds";
    const bool ok = write_file(dir + "/short.wav", wave_file(make_short_sound())) &&
                    write_file(dir + "/long.wav", wave_file(make_long_sound()));
    return ok ? 0 : 1;
}
