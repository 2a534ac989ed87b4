#!/bin/bash
# The real program on a desktop of several monitors, in a Wine session of its own
# on Xorg's dummy driver: Wine must report the layout expected; the overlay must
# move onto the whole virtual screen at its origin and show nothing there; then
# each scene opens and activates a window and the probe checks, over the whole
# virtual screen, the light it gets (or that it gets none) and the fade.
#
#   monitors.sh PROBE PROGRAM WORK_DIR MONITORS LAYOUT SCENE...
#
# MONITORS is the session's LIGHT_MONITORS; LAYOUT the probe's monitor-layout
# line that Wine must report for it; a scene is the arguments of the probe's
# monitor-light command in one word: "STYLE X Y W H LIT_ON NAME".

source "$(dirname "$0")/session.sh"

[ $# -ge 6 ] || fail "usage: monitors.sh PROBE PROGRAM WORK_DIR MONITORS LAYOUT SCENE..."
PROBE=$1 PROGRAM=$2 WORK=$3 MONITORS=$4 LAYOUT=$5
shift 5
mkdir -p "$WORK"
PROBE_SAVE_DIR=$(windows_path "$WORK")   # where the probe keeps failing screens
export PROBE_SAVE_DIR

began=$SECONDS
LIGHT_MONITORS=$MONITORS use_own_session "$MONITORS" "$WORK/wine-session"
note "session on $MONITORS ready in $((SECONDS - began)) s"
probe monitor-layout "$LAYOUT" || fail "Wine does not report the layout expected for $MONITORS"

start_program "$PROGRAM" "$WORK/program.log"
probe monitor-overlay 20000 || { save_screen failed-overlay; fail "the overlay does not cover the virtual screen"; }
probe find-overlay 0 >/dev/null || { probe find-overlay 0; fail "the overlay is not as expected"; }
probe expect-transparent 5000 1000 || { save_screen failed-transparent; fail "the overlay is not wholly transparent at rest"; }

# On a failure: what the program's threads wait in, to tell a program that
# stopped from one that drew the wrong light.
program_threads() {
  local task
  for task in /proc/"$PROGRAM_PID"/task/*; do
    echo "thread $(basename "$task"): state $(awk '{print $3}' "$task/stat" 2>/dev/null), waits in $(cat "$task/wchan" 2>/dev/null)"
  done
  probe capture | tail -1
}

for scene in "$@"; do
  note "$scene"
  # shellcheck disable=SC2086  # a scene is the command's arguments
  probe monitor-light $scene || { program_threads; fail "scene $scene"; }
  program_alive || fail "the program ended during $scene"
done

probe expect-transparent 5000 500 >/dev/null || fail "the overlay is not transparent after the scenes"
stop_program || fail "the program could not be ended from outside"
echo "PASS: $# scenes in $((SECONDS - began)) s"
