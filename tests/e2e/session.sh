# shellcheck shell=bash
# Shared steps of the end-to-end scripts, sourced by them: on top of the helpers
# that tools/ shares (tools/lib/common.sh: the program and the probe under Wine in
# the session that LIGHT_WINE_STATE names), waiting for probes and conditions,
# saving the screen and hearing the cues; everything a script started is stopped,
# by process id, when it exits.

set -u

# shellcheck source=../../tools/lib/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/lib/common.sh"
trap stop_started EXIT

# Starts a probe command that serves windows in the background and waits until it
# says it is ready. The log is removed first: the background job empties it only
# once it runs, and until then an earlier run's "ready" would be read as this one's.
start_serving_probe() {
  local log=$1
  shift
  rm -f "$log"   # a log left by an earlier run must not read as ready
  "$WINE_TOOLS/run-in-wine" "$PROBE" "$@" >"$log" 2>&1 &
  BACKGROUND_PIDS+=($!)
  local began=$SECONDS
  while ((SECONDS - began < DEADLINE_S)); do
    grep -q '^probe: ready' "$log" 2>/dev/null && { cat "$log"; return 0; }
    kill -0 "$!" 2>/dev/null || break
    sleep 0.1
  done
  cat "$log" 2>/dev/null
  fail "probe $* did not get ready (waited $((SECONDS - began)) s)"
}

# Runs a command until it succeeds, for up to the given seconds; only the last
# try's output shows, and how long was waited when it still fails.
eventually() {
  local began=$SECONDS until=$((SECONDS + $1))
  shift
  while ((SECONDS < until)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  "$@" && return 0
  echo "still failing after $((SECONDS - began)) s: $*" >&2
  return 1
}

# True when no overlay window exists in the session.
no_overlay() { ! probe list-windows | grep -q 'class "Solvane"'; }

# Saves what the screen shows into the work directory, for a failure's inspection.
save_screen() {
  local name=$1
  probe capture --out "$(windows_path "$WORK/$name.pam")" >/dev/null 2>&1 \
    && echo "screen saved as $WORK/$name.pam"
}

# The recording winmm.dll (planted/winmm.cpp), for the scripts that hear light's
# cues: installs it into this session's system32 in place of Wine's, loaded for
# light.exe alone. It writes its lines, with CRLF, to RECORDER_LOG.
install_recorder() {
  local system32="$LIGHT_WINE_STATE/prefix/drive_c/windows/system32"
  RECORDER_LOG="$system32/winmm.log"
  cp "$1" "$system32/winmm.dll" || fail "cannot install the recording winmm.dll"
  "$WINE_TOOLS/run-in-wine" reg add 'HKCU\Software\Wine\AppDefaults\light.exe\DllOverrides' \
    /v winmm /t REG_SZ /d native /f >/dev/null 2>&1 || fail "cannot make light.exe load it"
}

# shellcheck disable=SC2034  # LONG is for the scripts that source this
readonly SHORT=101428 LONG=206740    # data lengths of the short and the long sound
readonly CUE_QUIET_S=0.5             # after a cue, for a second call that must not come
log_lines() { tr -d '\r' <"$RECORDER_LOG" 2>/dev/null; }
sound_calls() { log_lines | grep '^sndPlaySoundA '; }
calls() { sound_calls | wc -l; }

# Checks the one cue that activating WINDOW (lower-case hex) must bring: flags 5
# (SND_ASYNC | SND_MEMORY), the sound whose data length is WANT, made while WINDOW
# was the foreground window; waits for it among the calls after the first SEEN,
# holds CUE_QUIET_S for a call that must not come, and fails naming WHAT. Wine now
# and then passes through a null foreground window on its way from one process's
# window to another's, and the program cues that change like any other:
# - with the recorder seeing the null window too, the call is printed, let through;
# - with the recorder asking a moment later, the new window is already in front,
#   so a cue for the previous window's rectangle carries the new handle: let
#   through when it comes just before the expected one (LAST_WANT keeps it).
expect_cue() {
  local what=$1 window=$2 want=$3 began=$SECONDS line
  local expected="sndPlaySoundA flags 5 riff data $want foreground $window"
  while ! sound_calls | tail -n +$((SEEN + 1)) | grep -q " foreground $window\$" &&
    ((SECONDS - began < DEADLINE_S)); do
    sleep 0.05
  done
  sleep "$CUE_QUIET_S"
  local calls_seen cues
  calls_seen=$(calls)
  while read -r line; do
    echo "    $line (the null foreground window on the way)"
  done < <(sound_calls | sed -n "$((SEEN + 1)),${calls_seen}p" | grep ' foreground 00000000$')
  cues=$(sound_calls | sed -n "$((SEEN + 1)),${calls_seen}p" | grep -v ' foreground 00000000$')
  [ -z "$cues" ] || echo "    ${cues//$'\n'/$'\n'    }"
  SEEN=$calls_seen
  [ -n "${LAST_WANT:-}" ] && [ "$cues" = "${expected/data $want/data $LAST_WANT}"$'\n'"$expected" ] \
    && note "the first cue came from a pass in the null foreground, with the previous window's rectangle" \
    && cues=$expected
  LAST_WANT=$want
  [ "$cues" = "$expected" ] \
    || fail "$what: expected one call '$expected' ($([ "$want" = "$SHORT" ] && echo short || echo long) sound) within ${DEADLINE_S} s, got after $((SECONDS - began)) s: ${cues:-none}"
}
