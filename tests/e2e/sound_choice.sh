#!/bin/bash
# Which sound light.exe plays, end to end: in a Wine session of its own whose
# system32 holds the recording winmm.dll (planted/winmm.cpp) in place of Wine's,
# loaded for light.exe alone, the real program runs while windows of known sizes
# are activated one after another, and each activation must bring exactly one
# sndPlaySoundA call, with flags 5 (SND_ASYNC | SND_MEMORY) and the right sound,
# told apart by the data length in its RIFF header. The desktop becoming the
# foreground window must bring none.
#
#   sound_choice.sh PROBE PROGRAM RECORDING_WINMM WORK_DIR

source "$(dirname "$0")/session.sh"

[ $# -eq 4 ] || fail "usage: sound_choice.sh PROBE PROGRAM RECORDING_WINMM WORK_DIR"
PROBE=$1 PROGRAM=$2 RECORDER=$3 WORK=$4
[ -f "$RECORDER" ] || fail "$RECORDER does not exist; build it first"
mkdir -p "$WORK"

readonly SCREEN=1024x768             # 786432 pixels; 0.3 of it is 235929.6
# Holds, not waits for something: that no second call comes is the check.
readonly DESKTOP_QUIET_S=1          # after the desktop, for a call that must not come

use_own_session "$SCREEN" "$WORK/wine-session"
install_recorder "$RECORDER"

start_program "$PROGRAM" "$WORK/program.log"
quiet probe find-overlay $((DEADLINE_S * 1000)) || fail "the overlay did not appear"
quiet probe expect-transparent $((DEADLINE_S * 1000)) 0 || fail "the overlay does not start transparent"
log_lines | grep -q '^loaded into .*light\.exe' \
  || fail "light.exe did not load the recording winmm.dll: $(log_lines)"
SEEN=$(calls)
[ "$SEEN" -eq 0 ] || fail "$SEEN sound calls before any activation: $(sound_calls)"

# Activates a window and checks the one call it brings: flags 5, the sound the
# window's size asks for, and made while that window was the foreground window.
# A row: the probe command that opens the window, its rectangle, the data length
# the cue must have.
activate() {
  local what=$1 command=$2 x=$3 y=$4 w=$5 h=$6 want=$7 log window
  log="$WORK/window-$((SEEN + 1)).log"
  note "$what: $command $x $y $w $h, share $(awk -v a=$((w * h)) 'BEGIN { printf "%.4f", a / 786432 }')"
  start_serving_probe "$log" "$command" "$x" "$y" "$w" "$h" "$what" >/dev/null
  grep -q 'foreground window is this one' "$log" \
    || fail "$what: the window did not become the foreground window: $(cat "$log")"
  window=$(sed -n 's/^probe: opened \([0-9a-fA-F]*\) .*/\1/p' "$log" | tr '[:upper:]' '[:lower:]')
  expect_cue "$what" "$window" "$want"
}

#        window                        probe command  x   y   w   h    sound
activate "large framed window"         open-window   40  30 614 537 $SHORT  # share 0.42
activate "small framed window"         open-window  700 500 204 153 $LONG   # share 0.04
activate "just over 0.3"               open-window  300 100 480 492 $SHORT  # 0.30029
# A fixed dialog frame is widened by 5 pixels on each side before it is measured:
# 470 x 490 covers 0.2928 of the screen, 480 x 500 covers 0.3052.
activate "dialog frame, widened"       open-dialog  200 150 470 490 $SHORT
# Last before the desktop, a window with the long sound (see below).
activate "just under 0.3"              open-window  320 120 480 491 $LONG   # 0.29968: not more than 0.3

# Wine hands the foreground to the desktop window asynchronously (it belongs to
# another process), and for about 0.1 ms in between GetForegroundWindow returns
# null. A pass that lands there sees a change to a null foreground, which plays
# a cue like any other change, with the rectangle of the window before: the long
# sound. That one is reported and let through, also when the recorder, asking a
# moment later, already saw the desktop in front. The desktop covers the screen,
# so a cue for the desktop itself would be the short sound, and fails.
note "the desktop as the foreground window"
desktop=$(probe survive-foreground desktop) || fail "the program did not survive the desktop: $desktop"
echo "    ${desktop//$'\n'/$'\n'    }"
# The program answers the desktop by making its overlay the foreground window:
# the sign that it saw the desktop there.
grep -q -E 'later the foreground window is ([0-9a-fA-F]+) \(the overlay is \1\)' <<<"$desktop" \
  || fail "the overlay did not take the foreground from the desktop: the program never saw the desktop"
sleep "$DESKTOP_QUIET_S"
got=$(calls)
while ((SEEN < got)); do
  SEEN=$((SEEN + 1))
  line=$(sound_calls | sed -n "${SEEN}p")
  echo "    $line"
  [[ $line == "sndPlaySoundA flags 5 riff data $LONG foreground "* ]] \
    || fail "a sound call while the desktop became the foreground window: $line"
  note "a cue for the null foreground window that Wine passes through on the way to the desktop"
done
program_alive || fail "the program ended"
stop_program || fail "the program could not be ended from outside"
echo "PASS: one cue for each activation, the right one, none for the desktop"
