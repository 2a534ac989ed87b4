#!/bin/bash
# A long run of each program under Wine: six framed windows activated in turn, one
# every 100 ms, every fifth activation closing a window and opening a new one in
# its place, the light checked once a second (every lit pixel a ramp entry no
# brighter than a fan), for SECONDS seconds. The program's memory, read before
# and after as the system reports it to another process, may grow by no more
# than the glow entries of the windows the run opened: the program keeps one
# 16-byte entry per window handle it has ever seen and frees nothing else it
# allocates after start-up; a program that imports WINMM may also grow by what
# Wine keeps per sound played. At the end the overlay must be wholly transparent.
#
#   soak.sh OBJDUMP PROBE WORK_DIR SECONDS PROGRAM...
#
# Runs in a Wine session of its own (1024x768), so it can take its time without
# holding up the shared one.

source "$(dirname "$0")/session.sh"

[ $# -ge 5 ] || fail "usage: soak.sh OBJDUMP PROBE WORK_DIR SECONDS PROGRAM..."
OBJDUMP=$1 PROBE=$2 WORK=$3 SOAK_SECONDS=$4
shift 4
[[ $SOAK_SECONDS =~ ^[1-9][0-9]*$ ]] || fail "SECONDS must be a whole number of seconds"
mkdir -p "$WORK"

readonly WINDOWS=6 PERIOD_MS=100 REOPEN_EVERY=5 CHECK_MS=1000
readonly WARM_UP_SECONDS=5   # first-time allocations (code paths, X resources) happen here
# What the run may add: each new handle's 16-byte GlowEntry in a heap block of at
# most 32 bytes (Wine's heap adds an 8-byte header and rounds to 8, Windows' a
# header of 8 to 16), rounded up to whole pages, plus one page at each end of the
# entries' run for the page they start in and the one they end in. Committed
# private memory grows in the heap's commit steps of 64 KiB instead. Under Wine
# every sndPlaySoundA call leaves a little memory behind in winmm and the thread
# it plays on: light.exe grew by 20 KiB over 1200 cues (17 bytes each) where
# light-quiet.exe, doing the same without the calls, grew by nothing, and a
# console program that only plays the two sounds grows by 3 bytes a call. So a
# program with sound cues may add 32 bytes per activation. The resident counters
# also count committed pages touched for the first time late in the run: with
# both cores busy, light-quiet.exe's resident memory grew by 4096 in one soak and
# 16384 bytes in another, its committed private memory by nothing in both (pages
# it already had, touched by a rarer path of Wine's code in the process or a
# deeper stack), so WINE_PAGES more pages may be resident. Committed private
# memory, which a leak must grow in the end, is held to the entries alone.
readonly ENTRY_BLOCK=32 PAGE=4096 SLACK_PAGES=2 HEAP_COMMIT=65536 CUE_BYTES=32 WINE_PAGES=4
readonly STEADY_WAIT_S=20

round_up() { echo $((($1 + $2 - 1) / $2 * $2)); }

# Under Wine each cue of light.exe plays on a winmm thread of its own; the last
# one stays until the next cue stops it, and a thread's stack outlives the
# thread for a while. So 3 MB stacks come and go with the cues, each in regions
# of their own. A sample is taken once the number of regions holding committed
# private pages has held still for three looks half a second apart (and, given
# a count, equals it), so that two samples compare the same threads. Each of its
# counters is the smallest of those three looks: a look can land while Wine
# holds a buffer for a moment (once, under load, 1.6 MB more resident memory
# than /proc showed just after), while memory the program keeps shows in all.
SAMPLE=""
steady_sample() {
  local want=${1:-} previous="" same=0 looks ws pf cp regions least
  for ((looks = 0; looks < STEADY_WAIT_S * 2; looks++)); do
    read -r ws pf cp regions <<<"$(memory_sample)"
    if [ "$regions" = "$previous" ]; then same=$((same + 1)); else same=0; fi
    previous=$regions
    if ((same == 0)); then
      least=("$ws" "$pf" "$cp")
    else
      least=($((ws < least[0] ? ws : least[0])) $((pf < least[1] ? pf : least[1])) $((cp < least[2] ? cp : least[2])))
    fi
    SAMPLE="${least[*]} $regions"
    ((same >= 2)) && { [ -z "$want" ] || [ "$regions" = "$want" ]; } && return 0
    sleep 0.5
  done
}

# The program's memory as the system reports it to another process: working
# set and pagefile usage (GetProcessMemoryInfo; Wine reports the process's
# resident and private resident memory there), and its committed private pages
# and the regions they lie in (VirtualQueryEx).
memory_sample() {
  local line
  line=$(probe memory) || fail "the probe could not read the program's memory: $line"
  sed -n 's/.*working-set \([0-9]*\) pagefile \([0-9]*\) private-usage [0-9]* committed-private \([0-9]*\) in \([0-9]*\) regions.*/\1 \2 \3 \4/p' <<<"$line"
}
# The same process from Linux: resident and private resident memory, and its
# processor time so far in clock ticks.
proc_sample() {
  local rss anon ticks
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$PROGRAM_PID/status")
  anon=$(sed -n 's/^RssAnon:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$PROGRAM_PID/status")
  ticks=$(awk '{ print $14 + $15 }' "/proc/$PROGRAM_PID/stat")
  echo "$((rss * 1024)) $((anon * 1024)) $ticks"
}

soak_program() {
  local program=$1 name log
  name=$(basename "$program" .exe)
  log="$WORK/$name"
  note "$name: $SOAK_SECONDS s, $WINDOWS windows, an activation every $PERIOD_MS ms"
  start_program "$program" "$log.program.log"
  quiet probe find-overlay $((DEADLINE_S * 1000)) || fail "$name: the overlay did not appear"
  quiet probe expect-transparent $((DEADLINE_S * 1000)) 0 || fail "$name: the overlay does not start transparent"

  probe soak "$WARM_UP_SECONDS" "$WINDOWS" "$PERIOD_MS" "$REOPEN_EVERY" "$CHECK_MS" >"$log.warm-up.log" \
    || { cat "$log.warm-up.log"; fail "$name: the warm-up failed"; }
  quiet probe expect-transparent $((DEADLINE_S * 1000)) 500 || fail "$name: not transparent after the warm-up"
  # The first look at another process's memory makes it run code it has never
  # run (Wine answers it inside that process), so that one is not counted.
  memory_sample >/dev/null
  steady_sample
  read -r ws0 pf0 cp0 regions0 <<<"$SAMPLE"
  read -r rss0 anon0 ticks0 < <(proc_sample)

  local began=$SECONDS
  probe soak "$SOAK_SECONDS" "$WINDOWS" "$PERIOD_MS" "$REOPEN_EVERY" "$CHECK_MS" >"$log.soak.log"
  local soaked=$?
  cat "$log.soak.log"
  ((soaked == 0)) || { save_screen "$name-soak"; fail "$name: the soak failed"; }
  program_alive || fail "$name: the program ended during the soak"
  probe expect-transparent $((DEADLINE_S * 1000)) 1000 || { save_screen "$name-end"; fail "$name: the overlay is not transparent at the end"; }
  local took=$((SECONDS - began))
  steady_sample "$regions0"
  read -r ws1 pf1 cp1 regions1 <<<"$SAMPLE"
  read -r rss1 anon1 ticks1 < <(proc_sample)
  ((regions1 == regions0)) || fail "$name: committed private pages in $regions1 regions" \
    "$STEADY_WAIT_S s after the soak, in $regions0 before; the samples do not compare"

  local handles activations cues=0 grown resident committed status=0
  handles=$(tr -d '\r' <"$log.soak.log" | sed -n 's/^probe: soak: new window handles \([0-9]*\)$/\1/p')
  activations=$(tr -d '\r' <"$log.soak.log" | sed -n 's/^probe: soak: [0-9.]* s, \([0-9]*\) activations.*/\1/p')
  if [ -z "$handles" ] || [ -z "$activations" ]; then fail "$name: the probe did not say what it did"; fi
  "$OBJDUMP" -p "$program" | grep -q -i 'DLL Name: WINMM\.dll' && cues=$activations
  grown=$((handles * ENTRY_BLOCK + cues * CUE_BYTES))
  resident=$(($(round_up $grown $PAGE) + (SLACK_PAGES + WINE_PAGES) * PAGE))
  committed=$(round_up $grown $HEAP_COMMIT)
  echo "$name: memory in bytes, before and after $took s; $handles new window handles," \
    "$cues cues; committed private pages in $regions0 regions both times"
  printf '  %-34s %12s %12s %8s %8s\n' counter before after growth allowed
  row() {
    local label=$1 before=$2 after=$3 allowed=$4
    printf '  %-34s %12d %12d %8d %8s\n' "$label" "$before" "$after" $((after - before)) "$allowed"
    if [ "$allowed" != - ] && ((after - before > allowed)); then
      echo "FAIL: $name: $label grew by $((after - before)) bytes, more than $allowed" >&2
      status=1
    fi
  }
  row "working set (GetProcessMemoryInfo)" "$ws0" "$ws1" "$resident"
  row "pagefile usage" "$pf0" "$pf1" "$resident"
  row "committed private (VirtualQueryEx)" "$cp0" "$cp1" "$committed"
  row "VmRSS (/proc)" "$rss0" "$rss1" -
  row "RssAnon (/proc)" "$anon0" "$anon1" -
  echo "  processor time over the soak: $(((ticks1 - ticks0) * 1000 / $(getconf CLK_TCK))) ms in $took s"
  ((status == 0)) || fail "$name: memory grew during the soak"
  stop_program || fail "$name: the program could not be ended from outside"
}

use_own_session 1024x768 "$WORK/wine-session"
for program in "$@"; do
  soak_program "$program"
done
echo "PASS"
