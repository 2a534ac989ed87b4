// Runs of ramp entries written eight pixels at a time: the pixel loops of span.cpp,
// kept inline in the row loop there. The entries are computed rather than looked
// up, to exactly the values build_light_ramp puts in the table. Included by
// span.cpp and by the test of the runs, nowhere else.
#pragma once

#include "render/ramp.h"
#include "render/span.h"

#include <cstdint>

// SSE2 where the compiler targets it, unless the build asks for the plain loops
// with LIGHT_NO_SSE2 (the sanitize preset does, so that they are built and tested).
#if !defined(LIGHT_NO_SSE2) && (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include <emmintrin.h>
#define LIGHT_RUN_SSE2 1
#endif

inline constexpr int32_t RUN_BLOCK = 8; // pixels computed together

// What every run of one triangle shares: its step and the step's multiples.
struct RunSteps {
    int32_t step; // shade change per pixel, 8.8
#if LIGHT_RUN_SSE2
    __m128i offsets; // 0, step, ..., 7 step as 16-bit lanes (mod 2^16)
#endif
};

inline RunSteps run_steps(int32_t step)
{
    RunSteps steps;
    steps.step = step;
#if LIGHT_RUN_SSE2
    const uint32_t s = static_cast<uint32_t>(step);
    steps.offsets = _mm_set_epi16(static_cast<short>(7 * s), static_cast<short>(6 * s), static_cast<short>(5 * s),
                                  static_cast<short>(4 * s), static_cast<short>(3 * s), static_cast<short>(2 * s),
                                  static_cast<short>(s), 0);
#endif
    return steps;
}

#if LIGHT_RUN_SSE2
// The shades shade + k step, k = 0..7, in 16-bit lanes. A shade of
// 0..RAMP_TOP_SHADE fits a lane, so sums taken mod 2^16 are exact for every lane
// in the ramp; lanes outside it are never stored.
static_assert(RAMP_TOP_SHADE <= 0xFFFF);
inline __m128i block_shades(uint32_t shade, const RunSteps &steps)
{
    return _mm_add_epi16(_mm_set1_epi16(static_cast<short>(shade)), steps.offsets);
}

// The eight entries of eight shades as pixels 0..3 and 4..7.
inline void ramp_block(__m128i shades, __m128i &low, __m128i &high)
{
    // For every entry e of 0..255, (e x 55706) >> 16 is 85e/100 and
    // (e x 13108) >> 16 is e/5: the table's green and blue as multiply-highs;
    // e x 257 is alpha and red side by side. build_light_ramp forms the same
    // entries from floats: change both.
    const __m128i e = _mm_srli_epi16(shades, FIXED_SHIFT);
    const __m128i green = _mm_mulhi_epu16(e, _mm_set1_epi16(static_cast<short>(55706)));
    const __m128i blue = _mm_mulhi_epu16(e, _mm_set1_epi16(13108));
    const __m128i alpha_red = _mm_mullo_epi16(e, _mm_set1_epi16(257));
    const __m128i green_blue = _mm_or_si128(_mm_slli_epi16(green, 8), blue);
    low = _mm_unpacklo_epi16(green_blue, alpha_red);
    high = _mm_unpackhi_epi16(green_blue, alpha_red);
}

inline void store_block(uint32_t *out, __m128i shades)
{
    __m128i low, high;
    ramp_block(shades, low, high);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), low);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4), high);
}

// Lane masks of the first n pixels of a block, n = 0..8: all ones where a pixel
// is written.
alignas(16) inline constexpr int32_t BLOCK_MASKS[RUN_BLOCK + 1][RUN_BLOCK] = {
    {0, 0, 0, 0, 0, 0, 0, 0},       {-1, 0, 0, 0, 0, 0, 0, 0},       {-1, -1, 0, 0, 0, 0, 0, 0},
    {-1, -1, -1, 0, 0, 0, 0, 0},    {-1, -1, -1, -1, 0, 0, 0, 0},    {-1, -1, -1, -1, -1, 0, 0, 0},
    {-1, -1, -1, -1, -1, -1, 0, 0}, {-1, -1, -1, -1, -1, -1, -1, 0}, {-1, -1, -1, -1, -1, -1, -1, -1},
};

// The first count (1..8) pixels of a block; the others are read and written back
// as they were, so a short run costs no branch on its length.
inline void merge_block(uint32_t *out, int32_t count, uint32_t shade, const RunSteps &steps)
{
    __m128i low, high;
    ramp_block(block_shades(shade, steps), low, high);
    const __m128i *const masks = reinterpret_cast<const __m128i *>(BLOCK_MASKS[count]);
    const __m128i mask_low = _mm_load_si128(masks);
    const __m128i mask_high = _mm_load_si128(masks + 1);
    __m128i *const first = reinterpret_cast<__m128i *>(out);
    __m128i *const second = reinterpret_cast<__m128i *>(out + 4);
    const __m128i old_low = _mm_loadu_si128(first);
    const __m128i old_high = _mm_loadu_si128(second);
    _mm_storeu_si128(first, _mm_or_si128(_mm_and_si128(mask_low, low), _mm_andnot_si128(mask_low, old_low)));
    _mm_storeu_si128(second, _mm_or_si128(_mm_and_si128(mask_high, high), _mm_andnot_si128(mask_high, old_high)));
}
#else
// Without SSE2: the first count (1..8) pixels one by one, from the table.
inline void merge_block(uint32_t *out, int32_t count, uint32_t shade, const RunSteps &steps)
{
    for (int32_t k = 0; k < count; ++k) {
        out[k] = light_ramp.entries[shade >> FIXED_SHIFT];
        shade += static_cast<uint32_t>(steps.step);
    }
}
#endif

// A run of 1..16 pixels, in one or two blocks, with no branch on its length but
// the one between them. The 8 pixels after the run's last full block must lie in
// the buffer; those past the run are written back as they were.
inline void write_short_run(uint32_t *out, int32_t count, uint32_t shade, const RunSteps &steps)
{
    if (count > RUN_BLOCK) {
#if LIGHT_RUN_SSE2
        store_block(out, block_shades(shade, steps));
#else
        merge_block(out, RUN_BLOCK, shade, steps);
#endif
        out += RUN_BLOCK;
        count -= RUN_BLOCK;
        shade += static_cast<uint32_t>(RUN_BLOCK * steps.step);
    }
    merge_block(out, count, shade, steps);
}

// Writes count >= 1 pixels from out on with the entries of shade, shade + step, ...
// (8.8), every one of them in 0..RAMP_TOP_SHADE. spare says that the eight
// pixels from out on all lie in the buffer: a short run may then read and write
// back those past its end (the buffer belongs to this thread alone).
inline void write_run(uint32_t *out, int32_t count, int32_t shade, const RunSteps &steps, bool spare)
{
    const uint32_t s = static_cast<uint32_t>(shade);
    const uint32_t step = static_cast<uint32_t>(steps.step);
#if LIGHT_RUN_SSE2
    if (count <= RUN_BLOCK && spare) {
        merge_block(out, count, s, steps);
        return;
    }
    if (count >= RUN_BLOCK) {
        const __m128i eight_steps = _mm_set1_epi16(static_cast<short>(RUN_BLOCK * step));
        __m128i shades = block_shades(s, steps);
        int32_t done = 0;
        for (; done + RUN_BLOCK <= count; done += RUN_BLOCK) {
            store_block(out + done, shades);
            shades = _mm_add_epi16(shades, eight_steps);
        }
        // The last pixels: the final eight again, rewriting some with the values
        // they already hold.
        if (done < count) {
            const uint32_t last_eight = s + static_cast<uint32_t>(count - RUN_BLOCK) * step;
            store_block(out + count - RUN_BLOCK, block_shades(last_eight, steps));
        }
        return;
    }
#else
    static_cast<void>(spare);
#endif
    const uint32_t *ramp = light_ramp.entries;
    uint32_t sum = s;
    for (int32_t k = 0; k < count; ++k) {
        out[k] = ramp[sum >> FIXED_SHIFT];
        sum += step;
    }
}

// Writes count >= 1 pixels from out on with the entries of the shades shade,
// shade + step, ... (8.8), every one of them in 0..RAMP_TOP_SHADE: write_run with
// no spare pixels, out of line. Called by fill_span.
void fill_ramp_run(uint32_t *out, int32_t count, int32_t shade, int32_t step);
