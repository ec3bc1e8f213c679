#!/usr/bin/env bash
# Draws the program's icon, res/app.ico: a blue key pad with six keys, one of them orange, in
# every frame Windows picks from at 100 to 200 % display scale (16, 20, 24, 32, 40, 48 and 64
# pixels) and the 256-pixel frame of large icon views. The shape is drawn once on a 48-unit grid,
# large, and each frame is an area-averaged reduction of it, so that no frame is a blurred copy
# of another.
#
#   scripts/make-icon.sh [OUT]   (default res/app.ico)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$QV_ROOT"
out=${1:-res/app.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

scale=32  # drawing pixels per grid unit
u() { awk -v s="$scale" 'BEGIN { for (i = 1; i < ARGC; ++i) printf "%s%g", (i > 1 ? "," : ""), ARGV[i] * s }' "$@"; }
key() { echo "rectangle $(u "$1" "$2") $(u "$(($1 + 10))" "$(($2 + 10))")"; }
size=$((48 * scale))
convert -size "${size}x${size}" xc:none \
  -fill '#2A4F9E' -stroke '#102A60' -strokewidth "$scale" \
  -draw "roundrectangle $(u 0.5 6.5) $(u 47.5 41.5) $(u 5 5)" \
  -stroke none -fill '#F4F6FB' \
  -draw "$(key 6 12)" -draw "$(key 19 12)" -draw "$(key 32 12)" \
  -draw "$(key 6 27)" -draw "$(key 19 27)" \
  -fill '#FFB347' -draw "$(key 32 27)" \
  "$work/large.png"
frames=()
for pixels in 16 20 24 32 40 48 64 256; do
  convert "$work/large.png" -filter Box -resize "${pixels}x${pixels}" -depth 8 "$work/$pixels.png"
  frames+=("$work/$pixels.png")
done
convert "${frames[@]}" "$out"
identify "$out"
