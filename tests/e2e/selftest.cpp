// The readback's self-test: a layered window presented exactly as the program
// presents its frame, read back from this process and from another one; and the
// present-pattern helper command that presents it in that other process.

#include "probe.h"

#include <cstdio>

// Self-test of the readback: another process presents a known premultiplied
// image on a layered window exactly as the program presents its frame, half of
// it over a white window, and this process reads the screen back and compares
// every pixel. It passes when what is read is the layered window's own ARGB,
// alpha 0 included, whatever lies below.

namespace {

constexpr int PATTERN_WIDTH = 256;
constexpr int PATTERN_HEIGHT = 24;
constexpr int PATTERN_MARGIN = 8;
// Under Wine the first UpdateLayeredWindow of a new window is now and then lost;
// the program heals by presenting again, and so does the self-test, this often.
constexpr int REPRESENT_MS = 200;

// The known image, top-down: rows 0-7 every light-ramp entry; rows 8-15 other
// premultiplied colours of every alpha; rows 16-23 opaque colours. No two rows
// are alike, so a flipped or shifted image shows.
uint32_t pattern_pixel(int x, int y)
{
    uint32_t a = uint32_t(x);
    if (y < 8) return ramp_entry((a + uint32_t(y) * 32) & 255);
    if (y < 16) return a << 24 | (a * uint32_t(y - 8) / 7) << 16 | (a / 3) << 8 | (a - a / 4);
    return 0xFF000000u | a << 16 | (255 - a) << 8 | uint32_t(y * 10);
}

// Presents the pattern on a layered window at (x, y): a bottom-up buffer copied
// into a compatible bitmap with SetDIBitsToDevice, then UpdateLayeredWindow with
// per-pixel alpha, as the program presents its frame.
void present_pattern(HWND window, int32_t x, int32_t y)
{
    static uint32_t buffer[PATTERN_WIDTH * PATTERN_HEIGHT];
    for (int row = 0; row < PATTERN_HEIGHT; row++)
        for (int column = 0; column < PATTERN_WIDTH; column++)
            buffer[(PATTERN_HEIGHT - 1 - row) * PATTERN_WIDTH + column] = pattern_pixel(column, row);
    // A positive height: rows bottom-up, as the frame buffer's.
    BITMAPINFO info = bitmap_info_32(PATTERN_WIDTH, PATTERN_HEIGHT);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, PATTERN_WIDTH, PATTERN_HEIGHT);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SetDIBitsToDevice(memory, 0, 0, PATTERN_WIDTH, PATTERN_HEIGHT, 0, 0, 0, PATTERN_HEIGHT, buffer, &info,
                      DIB_RGB_COLORS);
    POINT position{x, y}, source{0, 0};
    SIZE size{PATTERN_WIDTH, PATTERN_HEIGHT};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    if (!UpdateLayeredWindow(window, nullptr, &position, &size, memory, &source, 0, &blend, ULW_ALPHA))
        say("UpdateLayeredWindow failed, error %lu", GetLastError());
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// A new popup with the overlay's extended style, the pattern presented at (x, y).
HWND open_pattern_window(int32_t x, int32_t y)
{
    register_probe_classes();
    HWND window = open_window(PATTERN_CLASS, "pattern", WS_POPUP,
                              WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                              RECT{0, 0, PATTERN_WIDTH, PATTERN_HEIGHT}, Show::NORMAL);
    present_pattern(window, x, y);
    return window;
}

// Compares a capture of the pattern's surroundings with the pattern inside the
// window's rectangle and with the earlier capture around it.
// Quiet, it only says whether the capture is right.
bool compare_with_pattern(const char *how, const Capture &got, const Capture &before, int32_t x, int32_t y,
                          bool quiet = false)
{
    int64_t exact = 0, colour_only = 0, wrong = 0, outside_changed = 0;
    int reported = 0;
    for (int32_t row = 0; row < got.region.height; row++) {
        for (int32_t column = 0; column < got.region.width; column++) {
            int32_t sx = got.region.x + column, sy = got.region.y + row;
            size_t i = size_t(row) * size_t(got.region.width) + size_t(column);
            bool in_window = sx >= x && sx < x + PATTERN_WIDTH && sy >= y && sy < y + PATTERN_HEIGHT;
            uint32_t want = in_window ? pattern_pixel(sx - x, sy - y) : before.pixels[i];
            uint32_t seen = got.pixels[i];
            if (!in_window)
                outside_changed += seen != want;
            else if (seen == want)
                exact++;
            else if ((seen & 0xFFFFFF) == (want & 0xFFFFFF))
                colour_only++;
            else
                wrong++;
            if (seen != want && !quiet && reported++ < 4)
                say("  %s: (%d,%d) read %08x, expected %08x (below: %08x)", how, sx, sy, seen, want, before.pixels[i]);
        }
    }
    bool ok = exact == PATTERN_WIDTH * PATTERN_HEIGHT && outside_changed == 0;
    if (quiet) return ok;
    say("%s %s: %lld of %d pixels exact, %lld right but for alpha, %lld wrong; %lld changed "
        "around the window",
        ok ? "PASS" : "FAIL", how, exact, PATTERN_WIDTH * PATTERN_HEIGHT, colour_only, wrong, outside_changed);
    return ok;
}

// Starts this program again as the presenting helper; returns its process handle
// once it has presented, or null.
HANDLE start_presenter(int32_t x, int32_t y, HANDLE ready, const char *ready_name, const char *done_name)
{
    char module[MAX_PATH], command[MAX_PATH + 160];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::snprintf(command, sizeof command, "\"%s\" present-pattern %d %d %s %s", module, x, y, ready_name, done_name);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &child)) {
        say("FAIL: cannot start %s (error %lu)", command, GetLastError());
        return nullptr;
    }
    CloseHandle(child.hThread);
    HANDLE waits[2] = {ready, child.hProcess};
    if (wait_serving(waits, 2, 3 * DEADLINE_MS) != 0) {
        say("FAIL: the presenting process did not get ready");
        TerminateProcess(child.hProcess, 1);
        CloseHandle(child.hProcess);
        return nullptr;
    }
    return child.hProcess;
}

// Waits until a capture around the pattern shows it (or, without it, shows what
// was there before); says how long that took or that it never did.
bool wait_for_screen(const char *what, Region around, const Capture &before, int32_t x, int32_t y, bool pattern,
                     Capture &got, DWORD rop)
{
    double waited = wait_until(DEADLINE_MS, [&] {
        if (!capture_screen(around, got, rop)) return false;
        if (pattern) return compare_with_pattern(what, got, before, x, y, true);
        for (size_t i = 0; i < got.pixels.size(); i++)
            if (got.pixels[i] != before.pixels[i]) return false;
        return true;
    });
    if (waited >= 0) {
        say("%s: as expected after %.0f ms", what, waited);
        return true;
    }
    int64_t differ = 0;
    for (size_t i = 0; i < got.pixels.size(); i++) {
        if (got.pixels[i] == before.pixels[i] || differ++) continue;
        say("  first pixel that differs from before: (%d,%d) reads %08x, was %08x",
            around.x + int(i % size_t(around.width)), around.y + int(i / size_t(around.width)), got.pixels[i],
            before.pixels[i]);
    }
    say("%s: not as expected after %d ms; %lld pixels differ from before", what, DEADLINE_MS, differ);
    return false;
}

// The white window below the pattern's right half shows; its pixels are in before.
bool backing_shows(RECT backing_rect, Region around, Capture &before)
{
    int64_t white = 0,
            white_expected = int64_t(backing_rect.right - backing_rect.left) * (backing_rect.bottom - backing_rect.top);
    double waited = wait_until(DEADLINE_MS, [&] {
        white = 0;
        if (capture_screen(around, before))
            for (uint32_t p : before.pixels) white += p == WHITE;
        return white == white_expected;
    });
    say("%lld of %lld pixels of the white window read %08x before the pattern, after %.0f ms", white, white_expected,
        WHITE, waited);
    if (waited < 0) say("FAIL: the white window below the pattern does not show");
    return waited >= 0;
}

// Reads the pattern back as presented by another process, with and without
// CAPTUREBLT, and checks that the helper ends well when told to.
bool other_process_reads_back(Region around, const Capture &before, int32_t x, int32_t y)
{
    char ready_name[64], done_name[64];
    std::snprintf(ready_name, sizeof ready_name, "light-probe-ready-%lu", GetCurrentProcessId());
    std::snprintf(done_name, sizeof done_name, "light-probe-done-%lu", GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, ready_name);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, done_name);
    HANDLE child = start_presenter(x, y, ready, ready_name, done_name);
    if (!child) return false;
    Capture got;
    const char *how = "other process, SRCCOPY|CAPTUREBLT";
    wait_for_screen(how, around, before, x, y, true, got, SRCCOPY | CAPTUREBLT);
    bool ok = compare_with_pattern(how, got, before, x, y);
    ok = capture_screen(around, got, SRCCOPY) && ok;
    ok = compare_with_pattern("other process, SRCCOPY", got, before, x, y) && ok;
    SetEvent(done);
    DWORD code = 1;
    if (wait_serving(&child, 1, DEADLINE_MS) != 0) {
        say("FAIL: the presenting process did not end within %d ms", DEADLINE_MS);
        TerminateProcess(child, 1);
    }
    GetExitCodeProcess(child, &code);
    if (code != 0) say("FAIL: the presenting process ended with %lu", code);
    return ok && code == 0;
}

} // namespace

// The helper process of the self-test: presents the pattern, signals, and serves
// the window until told to stop, presenting it again every REPRESENT_MS.
int command_present_pattern(int32_t x, int32_t y, const char *ready_name, const char *done_name)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready_name);
    HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, done_name);
    if (!ready || !done) {
        say("FAIL: cannot open the self-test's events");
        return EXIT_FAIL;
    }
    HWND window = open_pattern_window(x, y);
    SetEvent(ready);
    double start = now_ms();
    while (wait_serving(&done, 1, REPRESENT_MS) != 0) {
        if (now_ms() - start > 60000) {
            say("FAIL: the self-test never said it was done");
            break;
        }
        present_pattern(window, x, y);
    }
    DestroyWindow(window);
    return EXIT_PASS;
}

int command_selftest(int32_t x, int32_t y)
{
    register_probe_classes();
    Region around{x - PATTERN_MARGIN, y - PATTERN_MARGIN, PATTERN_WIDTH + 2 * PATTERN_MARGIN,
                  PATTERN_HEIGHT + 2 * PATTERN_MARGIN};
    // White below the right half of the pattern and its margin.
    RECT backing_rect{x + PATTERN_WIDTH / 2, around.y, around.x + around.width, around.y + around.height};
    HWND backing = open_backing_window(backing_rect);
    Capture before, got;
    bool ok = backing_shows(backing_rect, around, before);

    // In this process first: the simplest case, presented again until it shows.
    HWND own = open_pattern_window(x, y);
    const char *how = "same process, SRCCOPY|CAPTUREBLT";
    double start = now_ms(), presented = start;
    wait_until(DEADLINE_MS, [&] {
        if (now_ms() - presented >= REPRESENT_MS) present_pattern(own, x, y), presented = now_ms();
        return capture_screen(around, got) && compare_with_pattern(how, got, before, x, y, true);
    });
    say("%s: waited %.0f ms", how, now_ms() - start);
    ok = compare_with_pattern(how, got, before, x, y) && ok;
    DestroyWindow(own);
    ok = wait_for_screen("closed in this process", around, before, x, y, false, got, SRCCOPY | CAPTUREBLT) && ok;

    // Then from another process, as the e2e tests read the program's overlay.
    ok = other_process_reads_back(around, before, x, y) && ok;

    // Gone again: the screen shows what it showed before.
    bool gone =
        wait_for_screen("after the layered window closed", around, before, x, y, false, got, SRCCOPY | CAPTUREBLT);
    say("%s after the layered window closed", gone ? "PASS" : "FAIL");
    ok = ok && gone;
    DestroyWindow(backing);
    say("%s: readback of a layered window's own premultiplied ARGB", ok ? "PASS" : "FAIL");
    return ok ? EXIT_PASS : EXIT_FAIL;
}
