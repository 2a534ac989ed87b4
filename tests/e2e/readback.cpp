// Reading the screen back: captures of any region into a 32-bit DIB, the light
// ramp's pixel values, counts over a capture and where it is lit, PAM files of
// captures, and the commands that read the screen (capture, expect-transparent).

#include "probe.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

Region virtual_screen()
{
    return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
            GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

RECT rect_of(Region region)
{
    return {region.x, region.y, region.x + region.width, region.y + region.height};
}

BITMAPINFO bitmap_info_32(int32_t width, int32_t height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// Reads what the screen shows in a region, as the e2e tests see the overlay:
// the screen DC copied with CAPTUREBLT (layered windows included) into a 32-bit
// top-down DIB section. Returns false, with the buffer still full of sentinels,
// when BitBlt fails.
bool capture_screen(Region region, Capture &out, DWORD rop)
{
    out.region = region;
    out.pixels.assign(size_t(region.width) * size_t(region.height), SENTINEL);
    BITMAPINFO info = bitmap_info_32(region.width, -region.height); // negative: top-down rows
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && bits) {
        std::memcpy(bits, out.pixels.data(), out.pixels.size() * 4);
        HGDIOBJ previous = SelectObject(memory, dib);
        ok = BitBlt(memory, 0, 0, region.width, region.height, screen, region.x, region.y, rop);
        GdiFlush();
        std::memcpy(out.pixels.data(), bits, out.pixels.size() * 4);
        SelectObject(memory, previous);
        DeleteObject(dib);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!ok) say("BitBlt of %dx%d at (%d,%d) from the screen failed", region.width, region.height, region.x, region.y);
    return ok;
}

// The light ramp's entry for a shade: alpha and red the shade, green 85 %, blue 20 %.
uint32_t ramp_entry(uint32_t shade)
{
    return shade << 24 | shade << 16 | (85 * shade / 100) << 8 | shade / 5;
}

bool is_ramp_entry(uint32_t pixel)
{
    return pixel == ramp_entry(pixel >> 24);
}

// Writes a capture as a PAM image, 8 bits a channel: RGB_ALPHA, or RGB without
// the alpha byte; with_origin puts the screen position of its top-left pixel in a
// comment (the recorded frames go without, as ImageMagick copies comments along).
bool write_pam(const char *path, const Capture &capture, bool with_alpha, bool with_origin)
{
    FILE *file = std::fopen(path, "wb");
    if (!file) {
        say("cannot write %s", path);
        return false;
    }
    std::fputs("P7\n", file);
    if (with_origin) std::fprintf(file, "# origin %d %d\n", capture.region.x, capture.region.y);
    int depth = with_alpha ? 4 : 3;
    std::fprintf(file, "WIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n", capture.region.width,
                 capture.region.height, depth, with_alpha ? "RGB_ALPHA" : "RGB");
    std::vector<unsigned char> bytes(capture.pixels.size() * size_t(depth));
    unsigned char *b = bytes.data();
    for (uint32_t p : capture.pixels) {
        *b++ = static_cast<unsigned char>(p >> 16);
        *b++ = static_cast<unsigned char>(p >> 8);
        *b++ = static_cast<unsigned char>(p);
        if (with_alpha) *b++ = static_cast<unsigned char>(p >> 24);
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) say("cannot finish %s", path);
    return ok;
}

int64_t lit_pixels(const Capture &capture)
{
    return lit_in(capture, rect_of(capture.region));
}

int64_t lit_in(const Capture &capture, RECT within)
{
    int64_t lit = 0;
    for (LONG y = within.top; y < within.bottom; y++)
        for (LONG x = within.left; x < within.right; x++)
            lit += capture.pixels[size_t(y - capture.region.y) * size_t(capture.region.width) +
                                  size_t(x - capture.region.x)] != 0;
    return lit;
}

RECT lit_box(const Capture &capture)
{
    RECT box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int32_t y = 0; y < capture.region.height; y++) {
        for (int32_t x = 0; x < capture.region.width; x++) {
            if (capture.pixels[size_t(y) * size_t(capture.region.width) + size_t(x)] == 0) continue;
            box.left = std::min(box.left, LONG(capture.region.x + x));
            box.right = std::max(box.right, LONG(capture.region.x + x + 1));
            box.top = std::min(box.top, LONG(capture.region.y + y));
            box.bottom = std::max(box.bottom, LONG(capture.region.y + y + 1));
        }
    }
    return box;
}

LitSummary summarize_lit(const Capture &capture)
{
    LitSummary s;
    for (uint32_t p : capture.pixels) {
        if (p == 0) continue;
        if (s.lit++ == 0) s.first = p;
        s.not_ramp += !is_ramp_entry(p);
        if (p >> 24 > s.max_alpha) s.max_alpha = p >> 24;
    }
    return s;
}

// Waits until the whole virtual screen reads 0, serving this thread's windows
// meanwhile; returns the time that took, or -1 after deadline_ms.
double wait_until_dark(int deadline_ms)
{
    Capture capture;
    bool read = false;
    double waited = wait_until(deadline_ms, [&] {
        read = capture_screen(virtual_screen(), capture);
        return read && lit_pixels(capture) == 0;
    });
    if (waited < 0) {
        say("still lit after %d ms:", deadline_ms);
        if (read) say_lit(capture);
    }
    return waited;
}

void say_lit(const Capture &capture)
{
    LitSummary s = summarize_lit(capture);
    if (s.lit == 0) {
        say("  nothing is lit in the %dx%d capture", capture.region.width, capture.region.height);
        return;
    }
    RECT box = lit_box(capture);
    say("  %lld pixels lit within (%ld,%ld)-(%ld,%ld), max alpha %u, %lld of them no light-ramp "
        "entry (the desktop showing?); the first reads %08x",
        s.lit, box.left, box.top, box.right, box.bottom, s.max_alpha, s.not_ramp, s.first);
}

// Counts the pixels of a capture that differ from a value, printing the first.
int64_t count_other_than(const Capture &capture, uint32_t value, bool print)
{
    int64_t other = 0;
    for (size_t i = 0; i < capture.pixels.size(); i++) {
        if (capture.pixels[i] == value) continue;
        if (other++ == 0 && print)
            say("first pixel other than %08x: %08x at (%d,%d)", value, capture.pixels[i],
                capture.region.x + int(i % size_t(capture.region.width)),
                capture.region.y + int(i / size_t(capture.region.width)));
    }
    return other;
}

// Keeps a capture that failed a check as NAME.pam in the folder that
// PROBE_SAVE_DIR names, when it is set.
void save_failure(const Capture &capture, const char *name)
{
    const char *folder = std::getenv("PROBE_SAVE_DIR");
    if (!folder || !*folder) return;
    std::string path = std::string(folder) + "\\" + name + ".pam";
    if (write_pam(path.c_str(), capture, true, true)) say("the failing screen is in %s", path.c_str());
}

namespace {

struct CaptureOptions {
    Region region;
    const char *out; // a PAM file to write, or null
    bool expect_all;
    uint32_t expected; // 0xAARRGGBB every pixel must read, with expect_all
    int32_t wait_ms;   // how long the region may take to read so
};

// The capture command's options; false for a bad command line.
bool parse_capture_options(int argc, char **argv, CaptureOptions &o)
{
    o = {virtual_screen(), nullptr, false, 0, 0};
    for (int i = 0; i < argc; i++) {
        std::string option = argv[i];
        if (option == "--region" && i + 4 < argc) {
            if (!parse_region(argv + i + 1, o.region)) return false;
            i += 4;
        } else if (option == "--out" && i + 1 < argc) {
            o.out = argv[++i];
        } else if (option == "--expect-all" && i + 1 < argc) {
            char *end = nullptr;
            o.expected = uint32_t(std::strtoul(argv[++i], &end, 16));
            if (*end) return false;
            o.expect_all = true;
        } else if (option == "--wait" && i + 1 < argc) {
            if (!parse_int(argv[++i], o.wait_ms) || o.wait_ms < 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int command_capture(int argc, char **argv)
{
    CaptureOptions o;
    if (!parse_capture_options(argc, argv, o)) return usage();
    // With --expect-all, --wait gives the screen that long to show the value
    // everywhere: a window just shown may not be drawn yet.
    Capture capture;
    bool read = false;
    double waited = wait_until(o.expect_all ? o.wait_ms : 0, [&] {
        read = capture_screen(o.region, capture);
        return read && (!o.expect_all || count_other_than(capture, o.expected, false) == 0);
    });
    if (!read) return EXIT_FAIL;
    if (waited > 0) say("waited %.0f ms for the region to show %08x", waited, o.expected);
    LitSummary s = summarize_lit(capture);
    say("captured %dx%d at (%d,%d): %lld non-zero pixels, max alpha %u, %lld not ramp entries", o.region.width,
        o.region.height, o.region.x, o.region.y, s.lit, s.max_alpha, s.not_ramp);
    bool ok = !o.out || write_pam(o.out, capture, true, true);
    if (o.expect_all) {
        int64_t other = count_other_than(capture, o.expected);
        if (other) say("FAIL: %lld pixels are not %08x after %d ms", other, o.expected, o.wait_ms);
        ok = ok && other == 0;
    }
    return ok ? EXIT_PASS : EXIT_FAIL;
}

// The whole virtual screen reads 0 within wait_ms, and on every look for hold_ms
// after that.
int command_expect_transparent(int wait_ms, int hold_ms)
{
    Region screen = virtual_screen();
    Capture capture;
    int64_t lit = -1;
    double waited = wait_until(wait_ms, [&] {
        lit = capture_screen(screen, capture) ? lit_pixels(capture) : -1;
        return lit == 0;
    });
    if (waited < 0) {
        say("FAIL: after %d ms %lld pixels of the %dx%d screen are not 0", wait_ms, lit, screen.width, screen.height);
        say_lit(capture);
        return EXIT_FAIL;
    }
    say("the %dx%d screen read 0 after %.0f ms", screen.width, screen.height, waited);
    // The hold has a fixed length on purpose: that nothing lights up is the check.
    int looks = 0;
    double start = now_ms();
    while (now_ms() - start < hold_ms) {
        Sleep(100);
        looks++;
        lit = capture_screen(screen, capture) ? lit_pixels(capture) : -1;
        if (lit != 0) {
            say("FAIL: %lld pixels not 0 on look %d, %.0f ms later", lit, looks, now_ms() - start);
            say_lit(capture);
            return EXIT_FAIL;
        }
    }
    say("PASS: every pixel 0 on %d more looks over %d ms", looks, hold_ms);
    return EXIT_PASS;
}
