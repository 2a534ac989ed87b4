#!/bin/bash
# Points a linked 32-bit PE image's load-configuration directory at the image's
# _load_config_used record (host/load_config.cpp) and brings the header checksum
# up to date. GNU ld of binutils 2.40 (Debian 12's) leaves that directory empty
# even when the record is defined, and Windows then never sees it; a directory
# that the linker filled itself is left alone.
#
#   fill_load_config.sh NM PROGRAM.exe
#
# NM is the toolchain's nm, which finds the record through the image's symbol
# table.

set -u

die() { echo "fill_load_config: $*" >&2; exit 1; }

[ $# -eq 2 ] || die "usage: fill_load_config.sh NM PROGRAM.exe"
nm=$1 image=$2
[ -f "$image" ] || die "$image does not exist"

# Little-endian unsigned integer of 2 or 4 bytes at a file offset.
read_u() { od -An -t "u$2" -j "$1" -N "$2" "$image" | tr -d ' '; }

# Writes a 4-byte little-endian value at a file offset, in place.
write_u32() {
  local value=$2
  local bytes
  bytes=$(printf '\\%03o\\%03o\\%03o\\%03o' $((value & 255)) $((value >> 8 & 255)) \
    $((value >> 16 & 255)) $((value >> 24 & 255)))
  printf '%b' "$bytes" | dd of="$image" bs=1 seek="$1" conv=notrunc status=none \
    || die "cannot write $image"
}

# The PE checksum: the file's 16-bit words summed with end-around carry, the
# checksum field itself counted as 0, plus the file's length.
checksum() {
  local field=$1 size
  size=$(stat -c %s "$image")
  od -An -v -t u2 "$image" | awk -v skip=$((field / 2)) -v size="$size" '
    { for (i = 1; i <= NF; i++) {
        if (n != skip && n != skip + 1) { sum += $i; sum = sum % 65536 + int(sum / 65536) }
        n++ } }
    END { sum = sum % 65536 + int(sum / 65536); print sum + size }'
}

[ "$(od -An -c -N 2 "$image" | tr -d ' ')" = MZ ] || die "$image is not a PE image"
pe=$(read_u 60 4)
optional=$((pe + 24))
[ "$(read_u "$optional" 2)" -eq $((0x10b)) ] || die "$image is not a 32-bit (PE32) image"
checksum_at=$((optional + 64))
directory_at=$((optional + 96 + 10 * 8))   # DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG]

if [ "$(read_u "$directory_at" 4)" -ne 0 ]; then
  echo "fill_load_config: $(basename "$image"): the load configuration directory is already filled"
  exit 0
fi

stored=$(read_u "$checksum_at" 4)
if [ "$stored" -ne 0 ] && [ "$(checksum "$checksum_at")" -ne "$stored" ]; then
  die "$image: its checksum does not match its contents; refusing to patch it"
fi

address=$("$nm" "$image" | awk '$3 == "__load_config_used" { print $1 }')
[ -n "$address" ] || die "$image has no __load_config_used symbol (not linked, or stripped)"
image_base=$(read_u $((optional + 28)) 4)
rva=$((16#$address - image_base))
((rva > 0 && rva % 4 == 0)) || die "$image: __load_config_used at RVA $rva is misplaced"

# The file offset of an RVA, through the section table; empty when no section
# holds it.
file_offset() {
  local sections table i at va vsize raw
  sections=$(read_u $((pe + 6)) 2)
  table=$((optional + $(read_u $((pe + 20)) 2)))
  for ((i = 0; i < sections; i++)); do
    at=$((table + 40 * i))
    vsize=$(read_u $((at + 8)) 4) va=$(read_u $((at + 12)) 4) raw=$(read_u $((at + 20)) 4)
    if (($1 >= va && $1 < va + vsize)); then
      echo $(($1 - va + raw))
      return
    fi
  done
}

record_at=$(file_offset "$rva")
[ -n "$record_at" ] || die "$image: no section holds RVA $rva"
record_size=$(read_u "$record_at" 4)
((record_size >= 64)) || die "$image: the record's Size is $record_size, less than 64"

# Windows XP and earlier accept an x86 directory only when its size is 64; later
# versions read the record's own Size field. Binutils writes the same.
size=$record_size
major=$(read_u $((optional + 48)) 2) minor=$(read_u $((optional + 50)) 2)
((major * 256 + minor <= 0x0501)) && size=64

write_u32 "$directory_at" "$rva"
write_u32 $((directory_at + 4)) "$size"
[ "$stored" -ne 0 ] && write_u32 "$checksum_at" "$(checksum "$checksum_at")"
echo "fill_load_config: $(basename "$image"): load configuration at RVA $(printf '0x%x' "$rva"), size $size"
