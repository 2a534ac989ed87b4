# shellcheck shell=bash
# What the scripts in tools/ and the end-to-end tests share, sourced by them: the
# environment every Wine process runs with, paths as the Windows programs see them,
# and running the programs and the probe in the Wine session that LIGHT_WINE_STATE
# names, stopping by process id whatever a script started. It defines functions
# and variables only; each script sets its own traps.

[ -n "${LIGHT_COMMON_SOURCED:-}" ] && return 0
LIGHT_COMMON_SOURCED=1

WINE_TOOLS="$(cd "$(dirname "${BASH_SOURCE[0]}")/../wine" && pwd)"
PROGRAM_PID=""        # the Unix process of the program under test, while it runs
BACKGROUND_PIDS=()    # probe processes serving windows
OWN_SESSION=""        # a session this script started itself, stopped at exit
readonly DEADLINE_S=20  # for anything a script waits for: a loaded machine's Wine is slow

# shellcheck source=arch.sh
source "$(dirname "${BASH_SOURCE[0]}")/arch.sh"

# The environment of every Wine process in a prefix: the prefix's architecture
# (tools/lib/arch.sh), no debug channels but the loader's errors, no Mono or
# Gecko install prompts (there is no network), and no menu entries written into
# the user's home. More DLL overrides may follow. WINE and WINE_SERVER name the
# loader and server to run; a 64-bit prefix also names them to Wine itself, for
# the processes it starts.
#   wine_environment PREFIX [OVERRIDES]
wine_environment() {
  export WINEPREFIX=$1
  WINEARCH=$(wine_arch) || exit
  export WINEARCH
  # A DLL that fails to load ends a program with status 53 (c0000135) and says
  # why on err:module alone: without it such a run ends without a word.
  export WINEDEBUG=-all,err+module
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${2:+;$2}"
  WINE=$(wine_loader "$WINEARCH")
  WINE_SERVER=$(wine_server "$WINEARCH")
  if [ "$WINEARCH" = win64 ]; then
    export WINELOADER=$WINE WINESERVER=$WINE_SERVER
  fi
}

# Every script answers -h and --help with its usage (its function usage) on stdout
# and exit 0, doing nothing else, and a wrong argument with the usage on stderr
# and exit 2.
#   answer_help "$@"          when the first argument asks for help
#   wrong_arguments           the usage on stderr, exit 2
#   take_no_arguments "$@"    for a script that takes none
answer_help() {
  case "${1:-}" in
    -h | --help) usage; exit 0 ;;
  esac
}
wrong_arguments() {
  usage >&2
  exit 2
}
take_no_arguments() {
  answer_help "$@"
  [ $# -eq 0 ] || wrong_arguments
}

# A Unix path as the Windows programs see it: the prefix maps / to drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

note() { echo "--- $*"; }

# Runs the probe in the session. Every probe command prints what it saw, so a run
# that fails having printed nothing never got to look (twice in CI a probe under
# 64-bit Wine ended so, at once, with nothing on stderr either).
probe() { rerun_if_silent "$WINE_TOOLS/run-in-wine" "$PROBE" "$@"; }

# Runs a command with its output passing through as it comes. When it fails
# having printed nothing on stdout, and not for a wrong command line (status 2),
# it is run once more after saying so, and that run's verdict stands.
rerun_if_silent() {
  local seen status
  seen=$(mktemp "${TMPDIR:-/tmp}/light-output.XXXXXX") || return
  "$@" | tee "$seen"
  status=${PIPESTATUS[0]}
  if ((status != 0 && status != 2)) && [ ! -s "$seen" ]; then
    echo "(${*##*/} exited with status $status and printed nothing; once more)" >&2
    "$@"
    status=$?
  fi
  rm -f "$seen"
  return "$status"
}

# Runs a command silently, and shows its output and exit status only when it
# fails, so that a failure says what was seen.
quiet() {
  local output status=0
  output=$("$@" 2>&1) || status=$?
  ((status == 0)) || printf '%s\n(%s exited with status %d)\n' "$output" "$1" "$status"
  return $status
}

# Starts a session of its own with another screen size and a state directory of
# its own, for a script that needs a screen other than the shared one.
use_own_session() {
  local screen=$1 state=$2
  OWN_SESSION=$state
  LIGHT_SCREEN=$screen "$WINE_TOOLS/wine-session" start "$state" || fail "could not start a $screen session"
  export LIGHT_WINE_STATE=$state
}

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
  return 0
}

# The exit trap of a script that runs things in a session: ends the program, the
# background probes and its own session, and exits with the script's status.
stop_started() {
  local status=$? pid
  [ -n "$PROGRAM_PID" ] && end_process "$PROGRAM_PID"
  for pid in "${BACKGROUND_PIDS[@]}"; do
    end_process "$pid"
  done
  [ -n "$OWN_SESSION" ] && "$WINE_TOOLS/wine-session" stop "$OWN_SESSION" >/dev/null
  exit $status
}
