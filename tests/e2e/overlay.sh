#!/bin/bash
# The program starts under Wine, keeps running, shows exactly one overlay window
# of the right class, title, styles and rectangle, and presents it wholly
# transparent: every pixel reads 0, even over a white window below it, and the
# white shows again once the program has ended.
#
#   overlay.sh PROBE PROGRAM WORK_DIR [SCREEN]
#
# With SCREEN (WIDTHxHEIGHT) the test runs in a Wine session of its own with that
# screen size instead of the shared one.

source "$(dirname "$0")/session.sh"

if [ $# -lt 3 ] || [ $# -gt 4 ]; then fail "usage: overlay.sh PROBE PROGRAM WORK_DIR [SCREEN]"; fi
PROBE=$1 PROGRAM=$2 WORK=$3
mkdir -p "$WORK"
[ $# -eq 4 ] && use_own_session "$4" "$WORK/wine-session"

read -r left top width height < <(probe list-windows |
  sed -n 's/^probe: virtual screen (\([-0-9]*\),\([-0-9]*\)) \([0-9]*\)x\([0-9]*\);.*/\1 \2 \3 \4/p')
[ -n "${height:-}" ] || fail "the probe did not report the virtual screen"
note "virtual screen ${width}x${height} at ($left,$top)"
if [ $# -eq 4 ]; then
  [ "${width}x${height}" = "$4" ] || fail "the session's screen is ${width}x${height}, not $4"
fi
probe list-windows | grep -q 'class "Solvane"' && fail "an overlay is already running in this session"

# White below the middle of the screen: reading 0 there later can only be the
# overlay's own transparent pixels, not the black desktop.
bx=$((left + width / 4)) by=$((top + height / 4)) bw=$((width / 2)) bh=$((height / 2))
start_serving_probe "$WORK/backing.log" backing $bx $by $bw $bh
probe capture --region $bx $by $bw $bh --expect-all 00ffffff --wait $((DEADLINE_S * 1000)) \
  || fail "the white window does not show"

start_program "$PROGRAM" "$WORK/program.log"
started=$SECONDS
probe find-overlay $((DEADLINE_S * 1000)) || { save_screen failed-find; fail "the overlay is not as expected"; }
probe expect-transparent $((DEADLINE_S * 1000)) 1000 || { save_screen failed-transparent; fail "the overlay is not wholly transparent"; }

# A hold, not a wait for something: that the program keeps running is the check.
sleep $((started + 3 - SECONDS > 0 ? started + 3 - SECONDS : 0))
program_alive || fail "the program ended by itself within $((SECONDS - started)) s"
quiet probe find-overlay 0 || fail "the overlay went away within $((SECONDS - started)) s"
note "the program still runs after $((SECONDS - started)) s"

stop_program || fail "the program could not be ended from outside"
eventually $DEADLINE_S no_overlay || fail "the overlay outlived its process"
probe capture --region $bx $by $bw $bh --expect-all 00ffffff --wait $((DEADLINE_S * 1000)) \
  || fail "the white window does not show again after the program ended"
echo "PASS"
