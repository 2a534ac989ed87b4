#!/bin/bash
# Which sound light.exe plays on two monitors: the share of a window is taken
# against the whole virtual screen, not the primary monitor. In a Wine session of
# its own on Xorg's dummy driver, with the recording winmm.dll that
# sound_choice.sh uses, windows are activated one after another and each
# activation must bring exactly one sndPlaySoundA call with the sound that the
# window's share of the virtual screen asks for.
#
#   monitor_sound.sh PROBE PROGRAM RECORDING_WINMM WORK_DIR

source "$(dirname "$0")/session.sh"

[ $# -eq 4 ] || fail "usage: monitor_sound.sh PROBE PROGRAM RECORDING_WINMM WORK_DIR"
PROBE=$1 PROGRAM=$2 RECORDER=$3 WORK=$4
[ -f "$RECORDER" ] || fail "$RECORDER does not exist; build it first"
mkdir -p "$WORK"

readonly MONITORS=1920x1080+1280+0,1280x1024+0+0   # a 1280x1024 monitor left of the primary
readonly SCREEN_AREA=$((3200 * 1080)) PRIMARY_AREA=$((1920 * 1080))

LIGHT_MONITORS=$MONITORS use_own_session "$MONITORS" "$WORK/wine-session"
probe monitor-layout || fail "the probe cannot read the layout"
install_recorder "$RECORDER"
share() { awk -v a="$1" -v s="$2" 'BEGIN { printf "%.4f", a / s }'; }

start_program "$PROGRAM" "$WORK/program.log"
probe monitor-overlay 20000 >/dev/null || fail "the overlay does not cover the virtual screen"
probe expect-transparent 5000 0 >/dev/null || fail "the overlay does not start transparent"
log_lines | grep -q '^loaded into .*light\.exe' \
  || fail "light.exe did not load the recording winmm.dll: $(log_lines)"
SEEN=$(calls)
[ "$SEEN" -eq 0 ] || fail "$SEEN sound calls before any activation: $(sound_calls)"

# Opens and activates a window with a probe command and checks the one call it
# brings. A row: what the window is, the sound it must get, the probe command.
activate() {
  local what=$1 want=$2 log window l t r b area
  shift 2
  log="$WORK/window-$((SEEN + 1)).log"
  start_serving_probe "$log" "$@" "$what" >/dev/null
  grep -q 'foreground window is this one' "$log" \
    || fail "$what: the window did not become the foreground window: $(cat "$log")"
  read -r window l t r b < <(sed -n \
    's/^probe: opened \([0-9a-fA-F]*\) .* rect (\(-*[0-9]*\),\(-*[0-9]*\))-(\(-*[0-9]*\),\(-*[0-9]*\)) .*/\1 \2 \3 \4 \5/p' "$log")
  [ -n "${b:-}" ] || fail "$what: the probe did not report the window: $(cat "$log")"
  window=$(tr '[:upper:]' '[:lower:]' <<<"$window")
  area=$(((r - l) * (b - t)))
  note "$what: ($l,$t)-($r,$b), share $(share $area $SCREEN_AREA) of the virtual screen ($(share $area $PRIMARY_AREA) of the primary)"
  expect_cue "$what" "$window" "$want"
}

#        window                          sound   probe command
# Covering one monitor, as a maximized window does (Wine without a window
# manager does not keep a window maximized, so the size is given).
activate "the primary, covered"          $SHORT  open-window 0 0 1920 1080         # 0.6
activate "the left monitor, covered"     $SHORT  open-window -1280 0 1280 1024     # 0.3793
# Over 0.3 of the primary, under 0.3 of the virtual screen: the long sound.
activate "1000x700 on the primary"       $LONG   open-window 200 100 1000 700      # 0.2025
# Across the border, exactly 0.3 of the virtual screen and just over it.
activate "exactly 0.3, across"           $LONG   open-window -576 50 1152 900      # 0.3
activate "just over 0.3, across"         $SHORT  open-window -577 60 1153 900      # 0.30026
program_alive || fail "the program ended"
stop_program || fail "the program could not be ended from outside"
echo "PASS: one cue for each activation, chosen by the share of the whole virtual screen"
