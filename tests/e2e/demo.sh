#!/bin/bash
# The run command's path without a display: tools/demo/capture runs the program in
# a Wine session of its own, records its overlay while sample windows are
# activated, and writes an animation. Checks the pictures themselves: at least 20
# frames; no light in the first; light in some, warm in colour; in the last ones
# every pixel of the overlay transparent and the animation showing the desktop
# exactly as before the light.
#
#   demo.sh PROBE PROGRAM WORK_DIR

set -u

readonly MIN_FRAMES=20
readonly MIN_LIGHT=1000         # as many fully lit pixels; a fan gives tens of thousands
readonly DARK_AT_END=5         # frames, 200 ms

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ $# -eq 3 ] || fail "usage: demo.sh PROBE PROGRAM WORK_DIR"
PROBE=$1 PROGRAM=$2 WORK=$3
CAPTURE=$(cd "$(dirname "$0")/../../tools/demo" && pwd)/capture
name=$(basename "$PROGRAM" .exe)
out=$WORK/out
rm -rf "$out" "$WORK/gif"
mkdir -p "$WORK/gif"

"$CAPTURE" --light "$PROGRAM" --probe "$PROBE" --out "$out" --work "$WORK/work" \
  || fail "tools/demo/capture failed"

gif=$out/$name.gif
frames=$(identify -format '%n\n' "$gif" 2>/dev/null | head -1)
[ -n "$frames" ] || fail "$gif is not a picture"
echo "$name.gif: $frames frames"
[ "$frames" -ge $MIN_FRAMES ] || fail "$frames frames in $gif, expected at least $MIN_FRAMES"
overlay=("$out/$name-overlay"/*.png)
[ ${#overlay[@]} -eq "$frames" ] \
  || fail "${#overlay[@]} overlay frames beside the $frames frames of the animation"

# The overlay's own frames: the largest alpha in each (0 when wholly transparent),
# and the light in each, the sum of its alphas over 255.
peak=() light=()
for file in "${overlay[@]}"; do
  read -r p l < <(convert "$file" -alpha extract -format '%[fx:round(maxima*255)] %[fx:round(mean*w*h)]\n' info:)
  peak+=("$p") light+=("$l")
done
echo "largest alpha per frame: ${peak[*]}"
brightest=0
for ((k = 1; k < frames; k++)); do
  [ "${light[k]}" -gt "${light[brightest]}" ] && brightest=$k
done
[ "${peak[0]}" -eq 0 ] || fail "the first frame already shows light (alpha up to ${peak[0]})"
[ "${light[brightest]}" -ge $MIN_LIGHT ] \
  || fail "no frame has light of $MIN_LIGHT; the most is ${light[brightest]} in frame $brightest"
for ((k = frames - DARK_AT_END; k < frames; k++)); do
  [ "${peak[k]}" -eq 0 ] || fail "frame $k of $frames still shows light (alpha up to ${peak[k]})"
done

# Warm light: more red than green, more green than blue, in the brightest frame.
read -r red green blue < <(convert "${overlay[brightest]}" -alpha off \
  -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]' info:)
echo "brightest frame $brightest: light ${light[brightest]}, mean red $red green $green blue $blue"
awk -v r="$red" -v g="$green" -v b="$blue" 'BEGIN { exit !(r > g && g > b && b >= 0) }' \
  || fail "the light in frame $brightest is not warm: red $red, green $green, blue $blue"

# The animation as shown: the last frames are the first one again, pixel for
# pixel, and the brightest one differs from it.
convert "$gif" -coalesce "$WORK/gif/%03d.png" || fail "cannot read the frames of $gif"
differing() { compare -metric AE "$WORK/gif/$(printf %03d "$1").png" "$WORK/gif/000.png" null: 2>&1; }
for ((k = frames - DARK_AT_END; k < frames; k++)); do
  d=$(differing $k)
  [ "$d" = 0 ] || fail "frame $k of the animation differs from the first in $d pixels"
done
d=$(differing $brightest)
echo "frame $brightest of the animation differs from the first in $d pixels"
[ "$d" -ge $MIN_LIGHT ] 2>/dev/null || fail "the light does not show in the animation ($d)"
for still in "$out/$name"-[0-9].png; do
  [ -s "$still" ] || fail "no stills in $out"
done
echo "PASS"
