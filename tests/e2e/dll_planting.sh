#!/bin/bash
# A winmm.dll planted beside light.exe, under Wine: copies of the program run from
# a folder of their own next to the recording winmm.dll (planted/winmm.cpp), a
# window is activated so that a cue is due, and the DLL's log shows whether it
# was loaded and called. Rows:
#
#   unhardened, Wine's default load order   Wine prefers its own builtin winmm
#   unhardened, native winmm first          the planted DLL is loaded: planting
#                                           works here, so the next row means something
#   as built,   native winmm first          loaded unless the loader honours
#                                           DependentLoadFlags = System32 only
#
# The last row is reported, not judged: Wine 8 does not read DependentLoadFlags
# and loads the planted DLL there too, so under Wine only the header field can be
# checked (hardening.sh load-config); Windows 10 1607 and later honour it. The test
# fails when the program does not run or when the planting itself does not work
# (second row), since then the last row would show nothing.
#
#   dll_planting.sh OBJDUMP PROBE PROGRAM PLANTED_DLL WORK_DIR

source "$(dirname "$0")/session.sh"

[ $# -eq 5 ] || fail "usage: dll_planting.sh OBJDUMP PROBE PROGRAM PLANTED_DLL WORK_DIR"
OBJDUMP=$1 PROBE=$2 PROGRAM=$3 PLANTED=$4 WORK=$5
[ -f "$PLANTED" ] || fail "$PLANTED does not exist; build it first"
mkdir -p "$WORK"
probe list-windows | grep -q 'class "Solvane"' && fail "an overlay is already running in this session"

# Starts a program in the session as run-in-wine does, with more DLL overrides
# for this one process (run-in-wine sets its own and does not take more).
start_with_overrides() {
  local exe=$1 log=$2 overrides=$3 state=$LIGHT_WINE_STATE
  (
    LIGHT_WINE_ARCH=$(cat "$state/arch") wine_environment "$state/prefix" "$overrides"
    DISPLAY=":$(cat "$state/display")" exec "$WINE" "$exe"
  ) >"$log" 2>&1 &
  PROGRAM_PID=$!
}

# The copy without a load configuration directory, as a linker that ignores
# _load_config_used leaves it.
unharden() {
  local optional
  optional=$(($(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ') + 24))
  dd if=/dev/zero of="$1" bs=1 seek=$((optional + 96 + 10 * 8)) count=8 conv=notrunc status=none
}

# Runs one row in its own folder; sets LOADED and CALLED to yes or no.
run_row() {
  local label=$1 image=$2 overrides=$3 folder="$WORK/$1"
  rm -rf "$folder"
  mkdir -p "$folder"
  cp "$PROGRAM" "$folder/light.exe" || fail "cannot copy $PROGRAM"
  cp "$PLANTED" "$folder/winmm.dll" || fail "cannot copy $PLANTED"
  [ "$image" = unhardened ] && unharden "$folder/light.exe"
  start_with_overrides "$folder/light.exe" "$folder/program.log" "$overrides"
  quiet probe find-overlay $((DEADLINE_S * 1000)) || fail "$label: the overlay did not appear"
  # A DLL the program imports is loaded before its overlay exists, so the log
  # already says whether the planted one was; only then can a call be logged,
  # and the window is served until it is.
  LOADED=no CALLED=no
  grep -q '^loaded into .*light\.exe' "$folder/winmm.log" 2>/dev/null && LOADED=yes
  start_serving_probe "$folder/window.log" open-window 300 420 320 200 "planting $label" >/dev/null
  grep -q 'foreground window is this one' "$folder/window.log" \
    || fail "$label: the window did not become the foreground window: $(cat "$folder/window.log")"
  if [ $LOADED = yes ]; then
    local began=$SECONDS
    until grep -q '^sndPlaySoundA ' "$folder/winmm.log" 2>/dev/null; do
      ((SECONDS - began < DEADLINE_S)) || break
      sleep 0.1
    done
    grep -q '^sndPlaySoundA ' "$folder/winmm.log" && CALLED=yes
    [ $CALLED = yes ] || echo "$label: no sound call in $((SECONDS - began)) s: $(cat "$folder/winmm.log")"
  fi
  stop_program || fail "$label: the program could not be ended"
  end_process "${BACKGROUND_PIDS[-1]}"
  printf '%-12s %-18s planted winmm.dll loaded: %-3s called: %s\n' "$image" \
    "${overrides:-default order}" "$LOADED" "$CALLED"
}

run_row default unhardened ""
run_row native-first unhardened "winmm=n,b"
if [ "$LOADED" != yes ] || [ "$CALLED" != yes ]; then
  fail "with native winmm first the planted DLL was not used; the experiment shows nothing"
fi
directory=$("$OBJDUMP" -p "$PROGRAM" 2>/dev/null | sed -n 's/^Entry a \([0-9a-fA-F]* [0-9a-fA-F]*\) Load.*/\1/p')
echo "as built: load configuration directory ${directory:-unreadable}"
run_row hardened built "winmm=n,b"
if [ "$LOADED" = yes ]; then
  echo "NOTE: this loader ignores DependentLoadFlags (Wine 8 does): the planted DLL was loaded"
  echo "      from the program's folder; on Windows the header field keeps it out"
fi
echo "PASS"
