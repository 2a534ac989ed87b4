// The light scenarios on the real program: light soon after an activation, two
// fans after two activations, the overlay transparent again after the fade, and
// the program outliving the desktop or its overlay as the foreground window.

#include "probe.h"

#include <string>

// Waits for the overlay and for it to show nothing, as every light scenario starts.
static bool overlay_ready_and_dark() {
  if (!the_overlay(5000)) return false;
  if (wait_until_dark(3000) < 0) {
    say("FAIL: the overlay still shows light 3 s into the scenario");
    return false;
  }
  return true;
}

// Activates a framed window and checks that light appears within within_ms,
// exactly of the ramp, no brighter than a fan can be, only where fans fall, and
// over the whole of the window's fan.
int command_light_first(int within_ms) {
  if (!overlay_ready_and_dark()) return EXIT_FAIL;
  register_probe_classes();
  Region screen = virtual_screen();
  RECT rect = window_for_light(screen, 0.25);
  Fan fan = fan_of(rect, screen);
  // Watch a small box that surely lies inside the fan, so that each look is quick.
  Region box{screen.x + int32_t(fan.apex_x + fan.reach_x / 3), screen.y + 8, 16, 16};
  for (int corner = 0; corner < 4; corner++) {
    double x = box.x - screen.x + (corner & 1) * box.width;
    double y = box.y - screen.y + (corner >> 1) * box.height;
    if (!must_be_lit(fan, x, y)) {
      say("FAIL: the watched box at (%d,%d) is not surely inside the fan", box.x, box.y);
      return EXIT_FAIL;
    }
  }
  double start = now_ms();
  HWND window = open_framed_window(rect, "light-first");
  Capture capture;
  double seen = -1;
  while (seen < 0 && now_ms() - start < 2000) {
    if (capture_screen(box, capture) && lit_pixels(capture) != 0) seen = now_ms() - start;
    pump_for(1);
  }
  bool ok = seen >= 0 && seen <= within_ms;
  if (seen < 0) {
    say("FAIL: no light within 2000 ms of activating the window");
  } else {
    say("light appeared %.1f ms after the activation (limit %d ms)", seen, within_ms);
    if (!ok) say("FAIL: light came later than %d ms", within_ms);
    ok = capture_screen(screen, capture) && ok;
    ok = light_scene_is_sound(capture, {{fan, "the activated window"}}, "light-first") && ok;
  }
  DestroyWindow(window);
  pump_for(20);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Activates two windows in turn, 200 ms apart, and checks that both fans show.
int command_light_two_fans() {
  if (!overlay_ready_and_dark()) return EXIT_FAIL;
  register_probe_classes();
  Region screen = virtual_screen();
  RECT first_rect = window_for_light(screen, 0.1);
  RECT second_rect = window_for_light(screen, 0.6);
  HWND first = open_framed_window(first_rect, "light-first-of-two");
  pump_for(200);
  HWND second = open_framed_window(second_rect, "light-second-of-two");
  pump_for(60);
  Capture capture;
  bool ok = capture_screen(screen, capture);
  ok = light_scene_is_sound(capture, {{fan_of(first_rect, screen), "the first window"},
                                      {fan_of(second_rect, screen), "the second window"}},
                            "light-two-fans") && ok;
  DestroyWindow(second);
  DestroyWindow(first);
  pump_for(20);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Activates a window and checks that the overlay, once lit, is wholly
// transparent again within within_ms of the activation, and still is 300 ms later.
int command_light_fades(int within_ms) {
  if (!overlay_ready_and_dark()) return EXIT_FAIL;
  register_probe_classes();
  double start = now_ms();
  HWND window = open_framed_window(window_for_light(virtual_screen(), 0.4), "light-fades");
  Capture capture;
  bool lit = false;
  while (!lit && now_ms() - start < 1000) {
    lit = capture_screen(virtual_screen(), capture) && lit_pixels(capture) != 0;
    pump_for(5);
  }
  double dark = lit ? wait_until_dark(within_ms + 1000) : -1;
  double total = now_ms() - start;
  bool ok = lit && dark >= 0 && total <= within_ms;
  if (!lit) say("FAIL: no light within 1000 ms of the activation");
  else if (dark < 0) say("FAIL: still lit %.0f ms after the activation", total);
  else say("transparent %.0f ms after the activation (limit %d ms)", total, within_ms);
  if (lit && dark >= 0 && !ok) say("FAIL: transparent later than %d ms", within_ms);
  pump_for(300);
  int64_t later = capture_screen(virtual_screen(), capture) ? lit_pixels(capture) : -1;
  if (later != 0) {
    say("FAIL: %lld pixels lit again 300 ms later", (long long)later);
    save_failure(capture, "light-fades");
  }
  ok = ok && later == 0;
  DestroyWindow(window);
  pump_for(20);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

// Makes the desktop or the overlay the foreground window and checks that the
// program is still running a second later with its one overlay.
int command_survive_foreground(const std::string &which) {
  HWND overlay = the_overlay(5000);
  if (!overlay) return EXIT_FAIL;
  WindowInfo before = describe(overlay);
  HWND target = which == "desktop" ? GetDesktopWindow() : overlay;
  BOOL set = SetForegroundWindow(target);
  say("SetForegroundWindow(%s %p) returned %d; the foreground window is now %p",
      which.c_str(), (void *)target, set, (void *)GetForegroundWindow());
  Sleep(1000);
  say("a second later the foreground window is %p (the overlay is %p)",
      (void *)GetForegroundWindow(), (void *)overlay);
  HWND after = the_overlay(0);
  bool ok = after == overlay && process_alive(before.process);
  if (!ok) say("FAIL: the program did not survive the %s as the foreground window",
               which.c_str());
  else say("PASS: process %lu and its overlay survived", before.process);
  return ok ? EXIT_PASS : EXIT_FAIL;
}

