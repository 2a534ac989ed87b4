#!/bin/bash
# The shipped executables carry the platform's exploit mitigations in their PE
# headers, read with objdump:
#
#   hardening.sh OBJDUMP PROGRAM WORK_DIR             ASLR, DEP, no W+X section
#   hardening.sh OBJDUMP PROGRAM WORK_DIR load-config DLL imports from System32 only
#
# - DllCharacteristics has DYNAMIC_BASE (0x40: the image may be loaded anywhere)
#   and NX_COMPAT (0x100: data pages are not executable);
# - no section is both writable and executable (objdump -h: CODE without
#   READONLY);
# - load-config: the load configuration directory points at a record whose Size
#   covers DependentLoadFlags and whose DependentLoadFlags is exactly
#   LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800), so a DLL planted beside the program is
#   not loaded in place of WINMM (Windows 10 1607 and later; Wine 8 ignores the
#   field, see dll_planting.sh).
#
# Each check is then run on copies of the program in WORK_DIR with one property
# broken at a time, and must reject every one of them.

set -u

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ $# -eq 3 ] || [ $# -eq 4 ] || fail "usage: hardening.sh OBJDUMP PROGRAM WORK_DIR [load-config]"
objdump=$1 program=$2 work=$3 what=${4:-mitigations}
[ "$what" = mitigations ] || [ "$what" = load-config ] || fail "unknown check '$what'"
[ -f "$program" ] || fail "$program does not exist; build it first"
mkdir -p "$work" || fail "cannot make $work"
name=$(basename "$program")

readonly DYNAMIC_BASE=$((0x40)) NX_COMPAT=$((0x100))
readonly SCN_MEM_EXECUTE=$((0x20000000)) SCN_MEM_WRITE=$((0x80000000))
readonly SEARCH_SYSTEM32=$((0x800))
readonly DEPENDENT_LOAD_FLAGS_AT=$((0x36))  # in the 32-bit load configuration record

# Little-endian unsigned integers at file offsets, read and written in place.
read_u() { od -An -t "u$3" -j "$2" -N "$3" "$1" | tr -d ' '; }
write_u() {
  local file=$1 at=$2 width=$3 value=$4 bytes="" i
  for ((i = 0; i < width; i++)); do bytes+=$(printf '\\%03o' $((value >> 8 * i & 255))); done
  printf '%b' "$bytes" | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
}

# Offsets in the file's headers: the optional header and the section table.
optional_header() { echo $(($(read_u "$1" 60 4) + 24)); }
section_header() {
  local file=$1 wanted=$2 pe count table i at
  pe=$(read_u "$file" 60 4)
  count=$(read_u "$file" $((pe + 6)) 2)
  table=$((pe + 24 + $(read_u "$file" $((pe + 20)) 2)))
  for ((i = 0; i < count; i++)); do
    at=$((table + 40 * i))
    [ "$(dd if="$file" bs=1 skip="$at" count=8 status=none | tr -d '\0')" = "$wanted" ] \
      && { echo "$at"; return; }
  done
}

# The file offset of a virtual address, from objdump -h's table (index, name,
# size, VMA, LMA, file offset); empty when no section holds it.
file_offset() {
  local file=$1 va=$2 index size vma offset
  while read -r index _ size vma _ offset _; do
    [[ $index =~ ^[0-9]+$ && $offset =~ ^[0-9a-fA-F]+$ ]] || continue
    if ((va >= 16#$vma && va < 16#$vma + 16#$size)); then
      echo $((16#$offset + va - 16#$vma))
      return
    fi
  done < <("$objdump" -h "$file")
}

# ASLR and DEP: prints what it finds; returns 1 when a mitigation is missing.
check_mitigations() {
  local file=$1 status=0 flags line section writable executable
  flags=$("$objdump" -p "$file" | sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\).*/\1/p')
  [ -n "$flags" ] || { echo "  $objdump -p shows no DllCharacteristics"; return 1; }
  echo "  DllCharacteristics 0x$flags"
  ((16#$flags & DYNAMIC_BASE)) || { echo "  DYNAMIC_BASE (0x40) is clear"; status=1; }
  ((16#$flags & NX_COMPAT)) || { echo "  NX_COMPAT (0x100) is clear"; status=1; }
  # objdump -h prints each section's line, then its flags on the next line.
  while read -r line; do
    if [[ $line =~ ^[0-9]+[[:space:]]+([^[:space:]]+) ]]; then
      section=${BASH_REMATCH[1]}
      continue
    fi
    [[ $line == *ALLOC* ]] || continue
    writable=1 executable=0
    [[ $line == *READONLY* ]] && writable=0
    [[ $line == *CODE* ]] && executable=1
    if ((writable && executable)); then
      echo "  section $section is writable and executable: $line"
      status=1
    fi
  done < <("$objdump" -h "$file")
  return $status
}

# The load configuration: prints what it finds; returns 1 unless the record is
# there and asks for System32 only.
check_load_config() {
  local file=$1 rva size image_base va offset record_size flags
  read -r rva size < <("$objdump" -p "$file" |
    sed -n 's/^Entry a \([0-9a-fA-F]*\) \([0-9a-fA-F]*\) Load Configuration Directory.*/\1 \2/p')
  [ -n "${size:-}" ] || { echo "  $objdump -p shows no data directory entry 10"; return 1; }
  echo "  load configuration directory: RVA 0x$rva, size 0x$size"
  if ((16#$rva == 0 || 16#$size == 0)); then
    echo "  the image has no load configuration directory"
    return 1
  fi
  image_base=$(read_u "$file" $(($(optional_header "$file") + 28)) 4)
  va=$((image_base + 16#$rva))
  offset=$(file_offset "$file" "$va")
  [ -n "$offset" ] || { echo "  no section holds the record at 0x$(printf '%x' "$va")"; return 1; }
  record_size=$(read_u "$file" "$offset" 4)
  flags=$(read_u "$file" $((offset + DEPENDENT_LOAD_FLAGS_AT)) 2)
  echo "  record: Size $record_size, DependentLoadFlags 0x$(printf '%x' "$flags")"
  if ((record_size < DEPENDENT_LOAD_FLAGS_AT + 2)); then
    echo "  the record's Size does not reach DependentLoadFlags (offset 0x36)"
    return 1
  fi
  if ((flags != SEARCH_SYSTEM32)); then
    echo "  DependentLoadFlags is not LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800) alone"
    return 1
  fi
  return 0
}

check() { if [ "$what" = mitigations ]; then check_mitigations "$1"; else check_load_config "$1"; fi; }

echo "$name:"
check "$program" || fail "$name does not pass the $what check"

# Copies with one property broken each; every one must be rejected. A row is
# a name and the change, applied to the copy in $copy.
break_flags() {
  local at
  at=$(($(optional_header "$copy") + 70))
  write_u "$copy" "$at" 2 $(($(read_u "$copy" "$at" 2) & ~$1))
}
break_section() {
  local at
  at=$(section_header "$copy" "$1")
  [ -n "$at" ] || return 1
  write_u "$copy" $((at + 36)) 4 $(($(read_u "$copy" $((at + 36)) 4) | $2))
}
record_offset() {
  local optional
  optional=$(optional_header "$copy")
  file_offset "$copy" $(($(read_u "$copy" $((optional + 28)) 4) + $(read_u "$copy" $((optional + 96 + 10 * 8)) 4)))
}
break_load_config() {
  local record
  record=$(record_offset)
  [ -n "$record" ] || return 1
  case $1 in
    no-directory) write_u "$copy" $(($(optional_header "$copy") + 96 + 10 * 8)) 8 0 ;;
    short-record) write_u "$copy" "$record" 4 $((DEPENDENT_LOAD_FLAGS_AT)) ;;
    flags) write_u "$copy" $((record + DEPENDENT_LOAD_FLAGS_AT)) 2 "$2" ;;
  esac
}

if [ "$what" = mitigations ]; then
  rows=(
    "no-aslr|break_flags $DYNAMIC_BASE"                 # loaded at its fixed base every time
    "no-nx|break_flags $NX_COMPAT"                      # data pages executable
    "executable-data|break_section .data $SCN_MEM_EXECUTE"  # writable .data also executable
    "writable-text|break_section .text $SCN_MEM_WRITE"      # executable .text also writable
  )
else
  rows=(
    "no-directory|break_load_config no-directory"       # the linker left the directory empty
    "short-record|break_load_config short-record"       # Size ends before DependentLoadFlags
    "no-flags|break_load_config flags 0"                # the default search order
    "also-app-dir|break_load_config flags $((0xA00))"   # System32 and the program's folder
  )
fi

status=0
for row in "${rows[@]}"; do
  label=${row%%|*} change=${row#*|}
  copy="$work/$name.$label"
  cp "$program" "$copy" || fail "cannot copy $program"
  # shellcheck disable=SC2086  # a row's change is a command and its arguments
  if ! $change; then
    echo "FAIL: could not make the $label copy" >&2
    status=1
  elif check "$copy" >"$copy.log" 2>&1; then
    echo "FAIL: the check accepts a copy with $label:" >&2
    cat "$copy.log" >&2
    status=1
  else
    echo "rejected as it should be: $label ($(tail -1 "$copy.log" | sed 's/^ *//'))"
  fi
done
[ $status -eq 0 ] || exit 1
echo "PASS"
