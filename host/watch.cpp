// The watch loop: up to fifty passes a second on the worker thread. Each pass
// notices a new foreground window or a moved one, takes the census, and either
// renders and presents the light or, when nothing glows, presents an empty frame
// now and then. LIGHT_SOUND_CUES adds the one sound cue call of the sounded build.
#include "host/watch.h"

#include "host/clock.h"
#include "host/frame.h"
#include "render/light.h"
#include "tracking/census.h"
#include "tracking/glow.h"
#if LIGHT_SOUND_CUES
#include "sound/cue.h"
#endif

#include <cmath>

HWND last_foreground;
bool scene_changed;
float ray_phase = 0.0f;
WatchState watch_state;

const DWORD PASS_SLEEP_MS = 20;
const int32_t IDLE_PRESENT_MASK = 31; // an empty frame every 32nd idle pass
const float GLOW_KEEPS_DRAWING = 0.01f;
const float PHASE_PER_STEP = 0.5f;
const double FULL_TURN = 6.283185307179586;

void start_watch()
{
    watch_state.arrow_cursor = LoadCursorA(nullptr, IDC_ARROW);
    watch_state.idle_counter = 0;
    // The first clear makes the frame buffer's storage, so it precedes any present.
    clear_frame();
    present_frame(overlay_window);
    last_foreground = nullptr;
    watch_state.previous_rect = {0, 0, 0, 0};
    GetWindowRect(GetForegroundWindow(), &watch_state.previous_rect);
    // A failed GetWindowRect later leaves this pass's rectangle at its last value.
    watch_state.current_rect = watch_state.previous_rect;
    start_frame_clock();
}

namespace {

bool same_rect(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A new foreground window gets a full glow. When the desktop comes to the front the
// overlay takes the foreground and the arrow cursor is set; being click-through, the
// overlay still passes every click on to the desktop and the windows below.
void note_new_foreground(HWND foreground)
{
    if (foreground == desktop_window) {
        SetForegroundWindow(overlay_window);
        SetCursor(watch_state.arrow_cursor);
    }
    last_foreground = foreground;
    scene_changed = true;
    glow_entry_for(foreground)->glow = 1.0f;
#if LIGHT_SOUND_CUES
    if (foreground != desktop_window) {
        play_sound_cue(watch_state.current_rect);
    }
#endif
}

// The overlay as the foreground window is not a change: the window behind it keeps
// its place in last_foreground and previous_rect.
void watch_foreground(HWND foreground)
{
    GetWindowRect(foreground, &watch_state.current_rect);
    inflate_thick_frame(foreground, watch_state.current_rect);
    if (foreground != last_foreground) {
        note_new_foreground(foreground);
    }
    if (!same_rect(watch_state.current_rect, watch_state.previous_rect)) {
        scene_changed = true;
    }
    watch_state.previous_rect = watch_state.current_rect;
}

void watch_census(HWND foreground)
{
    int32_t counted = window_census.count;
    take_census(foreground);
    if (window_census.count != counted) {
        scene_changed = true;
    }
    // Every censused window gets its entry before the renderer runs, so the walk
    // covers the whole census rather than stopping at the first glow.
    for (int32_t i = 0; i < window_census.count; i++) {
        if (glow_entry_for(window_census.handles[i])->glow > GLOW_KEEPS_DRAWING) {
            scene_changed = true;
        }
    }
}

// Single precision loses the phase's small steps after about a day; whole turns
// are taken off in double long before that, which leaves the ripple where it was.
void advance_ray_phase()
{
    ray_phase += frame_step * PHASE_PER_STEP;
    if (std::fabs(ray_phase) >= RAY_PHASE_WRAP) {
        ray_phase = static_cast<float>(std::fmod(static_cast<double>(ray_phase), FULL_TURN));
    }
}

} // namespace

void watch_pass()
{
    scene_changed = false;
    HWND foreground = GetForegroundWindow();
    if (foreground != overlay_window) {
        watch_foreground(foreground);
    }
    watch_census(foreground);
    if (scene_changed) {
        render_light();
        present_frame(overlay_window);
        watch_state.idle_counter = 0;
    } else {
        // The first idle pass clears at once; later ones refresh every 32nd pass.
        if (watch_state.idle_counter == 0) {
            clear_frame();
            present_frame(overlay_window);
        }
        watch_state.idle_counter = (watch_state.idle_counter + 1) & IDLE_PRESENT_MASK;
    }
    Sleep(PASS_SLEEP_MS);
    frame_step = read_frame_step();
    advance_ray_phase();
}

DWORD WINAPI watch_loop(LPVOID)
{
    start_watch();
    for (;;) {
        watch_pass();
    }
}
