#!/bin/bash
# Real clicks and keys while the program runs: the probe's clicks command opens two
# windows before the program starts and asks for each key and click, made here
# through the X server (XTEST, with xdotool), clicks at the X root coordinates the
# probe gives: the X root's origin is the virtual screen's top-left corner, where
# Wine puts the primary at (0,0).
#
#   clicks.sh PROBE PROGRAM WORK_DIR [MONITORS]   (MONITORS: in a session of its own)

source "$(dirname "$0")/session.sh"

PROBE=$1 PROGRAM=$2 WORK=$3 log=$3/clicks.log
mkdir -p "$WORK"
[ $# -eq 4 ] && LIGHT_MONITORS=$4 use_own_session "$4" "$WORK/wine-session"
DISPLAY=":$(cat "$LIGHT_WINE_STATE/display")" && export DISPLAY
start_serving_probe "$log" clicks
# B is in front and, as a window manager would have it, has the X keyboard focus;
# Xvfb runs none, so nothing else would give it (and the overlay, on top, would
# take the keys typed under the pointer).
xdotool search --name '^B$' windowfocus --sync || fail "cannot give B the X keyboard focus"
start_program "$PROGRAM" "$WORK/program.log"

# Each click or key asked for is made once; the probe must ask again or end within 60 s.
clicked=0 last=$SECONDS
while kill -0 "${BACKGROUND_PIDS[0]}" 2>/dev/null; do
  ((SECONDS - last < 3 * DEADLINE_S)) || { cat "$log"; fail "the probe neither clicked nor ended"; }
  mapfile -t asked < <(sed -n -e 's/^probe: type \([a-z]\) .*/key \1/p' \
    -e 's/^probe: click .* X root (\([0-9]*\),\([0-9]*\)).*/mousemove --sync \1 \2 click 1/p' "$log")
  if ((${#asked[@]} > clicked)); then
    # shellcheck disable=SC2086  # xdotool's arguments
    xdotool ${asked[clicked]} || fail "xdotool ${asked[clicked]} failed"
    note "xdotool ${asked[clicked]}"
    clicked=$((clicked + 1)) last=$SECONDS
  fi
  sleep 0.02
done
status=0
wait "${BACKGROUND_PIDS[0]}" || status=$?
BACKGROUND_PIDS=()
sed '1,/^probe: ready/d' "$log"
((status == 0)) || fail "the probe ended with status $status after $clicked clicks"
stop_program || fail "the program could not be ended from outside"
echo "PASS: $clicked clicks and keys"
