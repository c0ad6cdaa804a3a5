#!/usr/bin/env bash
# Times kelmarconvert against GStreamer's videoconvert on the same
# pre-rendered 1280 x 720 I420 frame (full-range BT.601, videotestsrc's
# bars), pushed FRAMES times by imagefreeze (the same buffer each time, no
# copy, as a decoder hands over the picture it has just written), each into
# `fakesink sync=false`, with one thread and two.  Every round runs every
# pipeline once, interleaved, and also the pipeline without a converter,
# whose time is taken off both: what is left is the converter's own.  A
# pipeline's time is gst-launch's own "Execution ended after" (playing to
# end of stream, without start-up), and its least-disturbed (shortest) round
# counts: the machine may be shared.  Prints each frame rate and the ratio
# kelmarconvert / videoconvert.
#   FRAMES (default 1000), ROUNDS (default 9), FORMATS (default "BGR RGB16
#   RGB15 UYVY YUY2"), VIDEOCONVERT_OPTIONS (default "dither=none
#   chroma-mode=none": the same work as the library, no dither and the
#   chroma samples repeated; set it empty for videoconvert's defaults).
# Installs what is missing (install-deps.sh --bench: imagefreeze is in
# gstreamer1.0-plugins-good) and builds the plugin in build/bench-gst first,
# unless KELMAR_GST_PLUGIN_DIR names a folder holding it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=${FRAMES:-1000}
rounds=${ROUNDS:-9}
formats=${FORMATS:-"BGR RGB16 RGB15 UYVY YUY2"}
vc_options=${VIDEOCONVERT_OPTIONS-"dither=none chroma-mode=none"}

bash "$root/scripts/install-deps.sh" --bench
plugin_dir=${KELMAR_GST_PLUGIN_DIR:-}
if [ -z "$plugin_dir" ]; then
  build=${KELMAR_BUILD_ROOT:-$root/build}/bench-gst
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_TESTS=OFF \
    -DKELMAR_BUILD_TOOLS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target gstkelmar >/dev/null
  plugin_dir=$build/gst/plugin
fi
export GST_PLUGIN_PATH=$plugin_dir

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clip=$work/frame.i420
caps="video/x-raw,format=I420,width=1280,height=720,framerate=30/1,colorimetry=1:4:0:0"
gst-launch-1.0 -q videotestsrc num-buffers=1 pattern=smpte ! "$caps" ! filesink location="$clip"
source="filesrc location=$clip ! rawvideoparse width=1280 height=720 format=i420 framerate=30/1 colorimetry=1:4:0:0 ! imagefreeze num-buffers=$frames"

# Playing time of one pipeline, in nanoseconds.
run() {
  local out
  # shellcheck disable=SC2086
  out=$(gst-launch-1.0 $source ! "$@" fakesink sync=false 2>&1) || {
    echo "bench-gst.sh: pipeline failed: $*" >&2
    echo "$out" >&2
    exit 1
  }
  sed -n 's/^Execution ended after \([0-9]*\):\([0-9]*\):\([0-9]*\)\.\([0-9]*\)$/\1 \2 \3 \4/p' <<<"$out" |
    awk '{ printf "%d\n", (($1 * 60 + $2) * 60 + $3) * 1e9 + $4 }'
}

shortest() { sort -n | head -n1; }

declare -A times
for ((round = 1; round <= rounds; ++round)); do
  times[base]+="$(run) "
  for format in $formats; do
    for threads in 1 2; do
      # shellcheck disable=SC2086
      times[k_${format}_$threads]+="$(run kelmarconvert n-threads=$threads ! video/x-raw,format=$format !) "
      # shellcheck disable=SC2086
      times[v_${format}_$threads]+="$(run videoconvert n-threads=$threads $vc_options ! video/x-raw,format=$format !) "
    done
  done
  echo "round $round of $rounds done" >&2
done

base=$(tr ' ' '\n' <<<"${times[base]}" | grep . | shortest)
fps() {  # frames per second of the converter alone
  local t
  t=$(tr ' ' '\n' <<<"${times[$1]}" | grep . | shortest)
  awk -v n="$frames" -v t="$t" -v b="$base" 'BEGIN { d = t - b; if (d <= 0) d = 1; printf "%.0f", n * 1e9 / d }'
}

echo
echo "$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), $(nproc) processors; $frames frames of 1280 x 720, shortest of $rounds rounds (without a converter: $((base / 1000000)) ms); videoconvert options: ${vc_options:-defaults}"
echo
echo "| Format | threads | kelmarconvert fps | videoconvert fps | ratio |"
echo "|---|---|---|---|---|"
for format in $formats; do
  for threads in 1 2; do
    k=$(fps "k_${format}_$threads")
    v=$(fps "v_${format}_$threads")
    echo "| $format | $threads | $k | $v | $(awk -v k="$k" -v v="$v" 'BEGIN { printf "%.2f", k / v }') |"
  done
done
