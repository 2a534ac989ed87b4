#!/bin/bash
# The shipped executables are 32-bit GUI programs that import only system DLLs:
# exactly the expected set, and none of the compiler's runtime DLLs.
#
#   executables.sh OBJDUMP PROGRAM DLL...

set -u

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ $# -ge 3 ] || fail "usage: executables.sh OBJDUMP PROGRAM DLL..."
objdump=$1 program=$2
shift 2
[ -f "$program" ] || fail "$program does not exist; build it first"
name=$(basename "$program")

headers=$("$objdump" -f "$program") || fail "$objdump cannot read $program"
private=$("$objdump" -p "$program") || fail "$objdump cannot read $program"

format=$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$headers")
architecture=$(sed -n 's/^architecture: \([^,]*\).*/\1/p' <<<"$headers")
subsystem=$(sed -n 's/^Subsystem[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$private")
# One line, upper case, sorted: the import table's DLL names and the expected ones.
imports=$(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$private" |
  tr '[:lower:]' '[:upper:]' | sort -u | paste -sd ' ')
expected=$(printf '%s.DLL\n' "$@" | tr '[:lower:]' '[:upper:]' | sort -u | paste -sd ' ')
runtime=$(tr ' ' '\n' <<<"$imports" | grep -i -E 'libgcc|libstdc|pthread' | paste -sd ' ')

echo "$name: format $format, architecture $architecture, subsystem $subsystem"
echo "$name imports: $imports"

status=0
problem() {
  echo "FAIL: $name: $*" >&2
  status=1
}
[ "$format" = pei-i386 ] || problem "file format is '$format', not pei-i386"
[ "$architecture" = i386 ] || problem "machine is '$architecture', not i386"
[ "$((16#${subsystem:-0}))" -eq 2 ] || problem "subsystem is '$subsystem', not 2 (Windows GUI)"
[ -z "$runtime" ] || problem "imports compiler runtime DLLs: $runtime"
[ "$imports" = "$expected" ] || problem "imports $imports, expected exactly $expected"
# The sound cue is the one function taken from WINMM.
winmm_functions=$(awk 'toupper($0) ~ /DLL NAME: WINMM/ {inside = 1; next}
  /DLL Name:/ || NF == 0 {inside = 0}
  inside && NF >= 3 && $1 ~ /^[0-9a-f]+$/ {print $NF}' <<<"$private" | paste -sd ' ')
if [[ " $expected " == *" WINMM.DLL "* ]]; then
  [ "$winmm_functions" = sndPlaySoundA ] || problem "takes '$winmm_functions' from WINMM, expected sndPlaySoundA alone"
fi
[ $status -eq 0 ] && echo "PASS"
exit $status
