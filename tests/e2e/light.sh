#!/bin/bash
# The light itself, on the real program under Wine: starts the program, waits for
# its overlay to show nothing, runs the probe's light scenarios one after the
# other, and checks that the program is still running at the end.
#
#   light.sh PROBE PROGRAM WORK_DIR SCENARIO...
#
# A scenario is a probe command with its arguments in one word, e.g.
# "light-first 100" or "survive-foreground desktop".

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

for scenario in "$@"; do
  note "$scenario"
  # shellcheck disable=SC2086  # a scenario is a command and its arguments
  probe $scenario || { save_screen "failed-${scenario// /-}"; fail "$scenario"; }
  program_alive || fail "the program ended during $scenario"
done

stop_program || fail "the program could not be ended from outside"
echo "PASS"
