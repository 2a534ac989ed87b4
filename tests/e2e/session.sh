# shellcheck shell=bash
# Shared steps of the end-to-end scripts, sourced by them: running the probe and
# the programs under Wine in the session that LIGHT_WINE_STATE names, and stopping
# everything a script started, by process id, when it exits.

set -u

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WINE_TOOLS="$E2E_DIR/../../tools/wine"
PROGRAM_PID=""        # the Unix process of the program under test, while it runs
BACKGROUND_PIDS=()    # probe processes serving windows
OWN_SESSION=""        # a session this script started itself, stopped at exit
readonly DEADLINE_S=20  # for anything a script waits for: a loaded machine's Wine is slow

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

note() { echo "--- $*"; }

# A Unix path as the Windows programs see it: the prefix maps / to drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

probe() { "$WINE_TOOLS/run-in-wine" "$PROBE" "$@"; }

# Runs a command silently, and shows its output only when it fails, so that a
# failure says what was seen.
quiet() {
  local output status=0
  output=$("$@" 2>&1) || status=$?
  ((status == 0)) || printf '%s\n' "$output"
  return $status
}

# Starts a session of its own with another screen size and a state directory of
# its own, for a test that needs a screen other than the shared one.
use_own_session() {
  local screen=$1 state=$2
  OWN_SESSION=$state
  LIGHT_SCREEN=$screen "$WINE_TOOLS/wine-session" start "$state" || fail "could not start a $screen session"
  export LIGHT_WINE_STATE=$state
}

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

# Starts a program under Wine and records its process id.
start_program() {
  local exe=$1 log=$2
  [ -f "$exe" ] || fail "$exe does not exist; build it first"
  "$WINE_TOOLS/run-in-wine" "$exe" >"$log" 2>&1 &
  PROGRAM_PID=$!
  note "started $(basename "$exe") as process $PROGRAM_PID"
}

program_alive() { [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; }

# Ends the program as a user would from outside, through the probe, and checks
# that its process is gone; falls back to killing it by its process id.
stop_program() {
  [ -n "$PROGRAM_PID" ] || return 0
  local ok=0 began=$SECONDS
  probe terminate-overlay || ok=1
  while program_alive && ((SECONDS - began < DEADLINE_S)); do sleep 0.1; done
  if program_alive; then
    echo "process $PROGRAM_PID still runs $((SECONDS - began)) s after terminate-overlay; killing it" >&2
    kill -KILL "$PROGRAM_PID" 2>/dev/null
    ok=1
  fi
  wait "$PROGRAM_PID" 2>/dev/null
  PROGRAM_PID=""
  return $ok
}

# Ends a process this script started: asks, then after two seconds insists.
end_process() {
  local pid=$1 waited
  kill "$pid" 2>/dev/null || return 0
  for ((waited = 0; waited < 20; waited++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

cleanup() {
  local status=$? pid
  [ -n "$PROGRAM_PID" ] && end_process "$PROGRAM_PID"
  for pid in "${BACKGROUND_PIDS[@]}"; do
    end_process "$pid"
  done
  [ -n "$OWN_SESSION" ] && "$WINE_TOOLS/wine-session" stop "$OWN_SESSION" >/dev/null
  exit $status
}
trap cleanup EXIT

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

log_lines() { tr -d '\r' <"$RECORDER_LOG" 2>/dev/null; }
sound_calls() { log_lines | grep '^sndPlaySoundA '; }
calls() { sound_calls | wc -l; }

# Waits for a cue made while WINDOW (lower-case hex) was the foreground window,
# among the calls after the first SEEN, then holds QUIET_S for a call that must
# not come. Wine now and then passes through a null foreground window on its way
# from one process's window to another's, and the program cues that change like
# any other; such calls are printed and let through. Leaves the other calls in
# CUES, one a line, and the number of calls so far in CALLS_SEEN.
await_cue() {
  local window=$1 seen=$2 quiet_s=$3 began=$SECONDS line
  while ! sound_calls | tail -n +$((seen + 1)) | grep -q " foreground $window\$" &&
    ((SECONDS - began < DEADLINE_S)); do
    sleep 0.05
  done
  sleep "$quiet_s"
  CALLS_SEEN=$(calls)
  while read -r line; do
    echo "    $line (the null foreground window on the way)"
  done < <(sound_calls | sed -n "$((seen + 1)),${CALLS_SEEN}p" | grep ' foreground 00000000$')
  CUES=$(sound_calls | sed -n "$((seen + 1)),${CALLS_SEEN}p" | grep -v ' foreground 00000000$')
  [ -z "$CUES" ] || echo "    ${CUES//$'\n'/$'\n'    }"
  CUE_WAIT_S=$((SECONDS - began))
}
