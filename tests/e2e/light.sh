#!/bin/bash
# The light itself, on the real program under Wine: starts the program, waits for
# its overlay to show nothing, runs the probe's light scenarios one after the
# other, and checks that the program is still running at the end.
#
#   light.sh PROBE PROGRAM WORK_DIR SCENARIO...
#
# A scenario is a probe command with its arguments in one word, e.g.
# "light-first 100" or "survive-foreground desktop", or "taskkill [/f]": Wine's own
# taskkill asks the program's windows to close, which the overlay declines (a later
# find-overlay shows it still there), or with /f ends the process, as the last one.

source "$(dirname "$0")/session.sh"

[ $# -ge 4 ] || fail "usage: light.sh PROBE PROGRAM WORK_DIR SCENARIO..."
PROBE=$1 PROGRAM=$2 WORK=$3
shift 3
mkdir -p "$WORK"
PROBE_SAVE_DIR=$(windows_path "$WORK")   # where the probe keeps failing screens
export PROBE_SAVE_DIR
probe list-windows | grep -q 'class "Solvane"' && fail "an overlay is already running in this session"

start_program "$PROGRAM" "$WORK/program.log"
quiet probe find-overlay $((DEADLINE_S * 1000)) || fail "the overlay did not appear"
quiet probe expect-transparent $((DEADLINE_S * 1000)) 0 || fail "the overlay does not start transparent"

# Runs taskkill [/f] on the program; with /f its process must end.
taskkill() {
  "$WINE_TOOLS/run-in-wine" taskkill "$@" /im "$(basename "$PROGRAM")" | tr -d '\r'
  [ "${1:-}" = /f ] || return 0
  eventually "$DEADLINE_S" bash -c "! kill -0 $PROGRAM_PID" || fail "taskkill /f did not end the program"
  wait "$PROGRAM_PID"
  PROGRAM_PID=""
}

for scenario in "$@"; do
  note "$scenario"
  # shellcheck disable=SC2086  # a scenario is a command and its arguments
  case "$scenario" in
    "taskkill /f") taskkill /f; break ;;
    taskkill) taskkill ;;
    *) probe $scenario || { save_screen "failed-${scenario// /-}"; fail "$scenario"; } ;;
  esac
  program_alive || fail "the program ended during $scenario"
done

stop_program || fail "the program could not be ended from outside"
echo "PASS"
