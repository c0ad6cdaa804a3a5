#!/usr/bin/env bash
# Draws docs/palette-range.png, the README's picture of the 8-bit palette's
# range: a hue sweep from full saturation (top row) to grey (bottom row),
# made by ffmpeg as full-range BT.601 4:2:0 and converted by kelmar-convert
# to 24-bit BGR (upper half) and to 8-bit (lower half).
#   KELMAR_CONVERT   the kelmar-convert to use (default: the main job's)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
convert=${KELMAR_CONVERT:-$root/build/main-job/tools/kelmar-convert}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Hue from the column, saturation falling from 1 at the top to 0 at the bottom.
sat="(1-Y/(H-1))"
channel() { echo "255*($sat*clip($1,0,1)+(1-$sat)/2)"; }
ffmpeg -v error -f lavfi -i "color=black:s=512x128,format=rgb24,geq=\
r='$(channel 'abs(6*X/W-3)-1')':g='$(channel '2-abs(6*X/W-2)')':b='$(channel '2-abs(6*X/W-4)')'" \
  -frames:v 1 -vf "scale=out_color_matrix=bt601:out_range=full,format=yuv420p" \
  -f rawvideo "$work/sweep.yuv"
"$convert" "$work/sweep.yuv" --size 512x128 --format rgb24 -q -o "$work/rgb24.png"
"$convert" "$work/sweep.yuv" --size 512x128 --format pal8 -q -o "$work/pal8.png"
ffmpeg -v error -y -i "$work/rgb24.png" -i "$work/pal8.png" -filter_complex vstack \
  "$root/docs/palette-range.png"
echo "Wrote $root/docs/palette-range.png"
