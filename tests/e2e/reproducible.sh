#!/bin/bash
# Two builds of the same sources, one after the other in two fresh build folders of
# different names, make light.exe and light-quiet.exe the same to the byte: no link
# time in the PE header and no folder names in the code or the version resource,
# so that a downloaded executable can be checked against a build of its commit.
#
#   reproducible.sh SOURCE_DIR WORK_DIR

set -u
# shellcheck source=../../tools/lib/common.sh
source "$(dirname "$0")/../../tools/lib/common.sh"

[ $# -eq 2 ] || fail "usage: reproducible.sh SOURCE_DIR WORK_DIR"
SOURCE=$1 WORK=$2
readonly PROGRAMS=(light light-quiet)
rm -rf "$WORK"
mkdir -p "$WORK"

# Configures and builds the two programs in a fresh folder with the windows preset.
build() {
  local folder=$WORK/$1
  (cd "$SOURCE" && cmake --preset windows -B "$folder" -DLIGHT_BENCH=OFF &&
    cmake --build "$folder" -j2 --target "${PROGRAMS[@]}") >"$folder.log" 2>&1 \
    || { tail -20 "$folder.log"; fail "the build in $folder failed"; }
  note "built in $folder, linked at $(date -u -r "$folder/light.exe" +%T)"
}
build first
build second-with-a-longer-name
[ "$(stat -c %Y "$WORK/first/light.exe")" -lt "$(stat -c %Y "$WORK/second-with-a-longer-name/light.exe")" ] \
  || fail "the two builds were linked within the same second, which proves nothing about the time stamp"

differ=0
for program in "${PROGRAMS[@]}"; do
  if cmp "$WORK/first/$program.exe" "$WORK/second-with-a-longer-name/$program.exe"; then
    note "$program.exe: the same $(stat -c %s "$WORK/first/$program.exe") bytes," \
      "sha256 $(sha256sum <"$WORK/first/$program.exe" | cut -c1-16)..."
  else
    cmp -l "$WORK/first/$program.exe" "$WORK/second-with-a-longer-name/$program.exe" | head -8 \
      | awk '{ printf "    offset 0x%x: %s and %s (octal)\n", $1 - 1, $2, $3 }'
    differ=1
  fi
done
((differ == 0)) || fail "the two builds differ (first bytes that differ shown above)"
rm -rf "$WORK/first" "$WORK/second-with-a-longer-name"
echo "PASS"
