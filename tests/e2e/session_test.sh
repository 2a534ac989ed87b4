#!/bin/bash
# The shared steps of the e2e scripts (session.sh) on their own, with a stand-in
# for run-in-wine, so no Wine is needed: a background probe's readiness is never
# read from an earlier run's log, a probe that ends unready fails the script, a
# probe that fails silently runs once more, and quiet and eventually show what failed.
#
#   session_test.sh WORK_DIR

source "$(dirname "$0")/session.sh"

[ $# -eq 1 ] || fail "usage: session_test.sh WORK_DIR"
WORK=$1
rm -rf "$WORK"
mkdir -p "$WORK/tools"
WINE_TOOLS=$WORK/tools   # session.sh runs "$WINE_TOOLS/run-in-wine" PROBE ARGS...
PROBE=stand-in
# The stand-in says "ready" after a delay and then serves until it is ended;
# "unready" ends at once without a word.
cat >"$WINE_TOOLS/run-in-wine" <<'STAND_IN'
#!/bin/bash
[ "$2" = unready ] && exit 3
sleep 1
echo "probe: ready ($2)"
exec sleep 60
STAND_IN
chmod +x "$WINE_TOOLS/run-in-wine"
failures=0
check() {  # check WHAT CONDITION...: one row of the table below
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

# An earlier run left its log behind: its "ready" must not be taken for this run's.
echo "probe: ready (an earlier run)" >"$WORK/serving.log"
start_serving_probe "$WORK/serving.log" this-run >/dev/null
check "the ready line read is this run's, not the earlier run's" \
  grep -q '^probe: ready (this-run)$' "$WORK/serving.log"
check "the earlier run's log is gone" bash -c "! grep -q 'earlier run' '$WORK/serving.log'"

# A probe that ends without saying ready fails the script at once, saying so.
began=$SECONDS
output=$( (start_serving_probe "$WORK/unready.log" unready) 2>&1 ) && status=0 || status=$?
check "an unready probe fails the script (status $status)" test "$status" -ne 0
check "and says it did not get ready: $output" grep -q 'did not get ready' <<<"$output"
check "without waiting out the deadline ($((SECONDS - began)) s)" test $((SECONDS - began)) -lt 10

# quiet shows a failing command's output and status, and nothing of a passing one.
output=$(quiet bash -c 'echo what was seen; exit 3') && status=0 || status=$?
check "quiet keeps a failure's status ($status)" test "$status" -eq 3
check "quiet shows a failure's output and status ($output)" \
  test "$output" = $'what was seen\n(bash exited with status 3)'
# A probe that fails silently is run once more: the second run's verdict stands.
rm -f "$WORK/ran-once"
output=$(rerun_if_silent bash -c "[ -e '$WORK/ran-once' ] || { touch '$WORK/ran-once'; exit 4; }; echo second run" 2>&1)
check "a silent failure runs once more (${output//$'\n'/ | })" test $? -eq 0
output=$(quiet bash -c 'echo all well')
check "quiet hides a success's output ('$output')" test -z "$output"

# eventually waits for a condition that comes true, and says how long it waited
# for one that never does.
(sleep 1 && touch "$WORK/late") &
check "eventually sees a file that appears after a second" eventually 10 test -e "$WORK/late"
output=$(eventually 1 false 2>&1) && status=0 || status=$?
check "eventually fails for a condition that stays false ($output)" test "$status" -ne 0
check "and says how long it waited" grep -q 'still failing after [0-9]* s' <<<"$output"

# Every script in tools/ answers -h and --help with its usage on stdout and does
# nothing else: it runs with bash, env, dirname and cat alone on its PATH, so any
# build, install or Wine command it went on to run would fail on stderr. A wrong
# argument gets the usage on stderr and exit 2.
tools=$(cd "$(dirname "$0")/../../tools" && pwd) scripts=0
mkdir -p "$WORK/bin"
for command in bash env dirname cat; do ln -s "$(command -v "$command")" "$WORK/bin/"; done
answer() { # EXPECTED_STATUS USAGE_ON NOTHING_ON SCRIPT ARGUMENT
  local status=0
  PATH=$WORK/bin "$4" "$5" >"$WORK/stdout" 2>"$WORK/stderr" || status=$?
  [ $status -eq "$1" ] && grep -q '^usage: ' "$WORK/$2" && [ ! -s "$WORK/$3" ] && return 0
  echo "    exit $status; stdout: $(head -c 300 "$WORK/stdout"); stderr: $(head -c 300 "$WORK/stderr")" >&2
  return 1
}
for script in "$tools"/* "$tools"/demo/* "$tools"/wine/*; do
  [[ -f $script && -x $script ]] || continue
  scripts=$((scripts + 1))
  for option in --help -h; do
    check "${script#"$tools"/} $option: its usage on stdout, exit 0" answer 0 stdout stderr "$script" $option
  done
  check "${script#"$tools"/} --no-such-option: its usage on stderr, exit 2" \
    answer 2 stderr stdout "$script" --no-such-option
done
check "$scripts scripts in tools/ answered" test "$scripts" -ge 12

((failures == 0)) || fail "$failures checks failed"
echo "PASS"
