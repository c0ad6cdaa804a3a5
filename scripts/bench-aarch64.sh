#!/usr/bin/env bash
# Instructions per pixel of every layout on aarch64, ours against libyuv's
# NEON rows, counted under qemu-user (CPU model Cortex-A72: Advanced SIMD, no
# SVE) with a small instruction-counting plugin (bench/insn_count_plugin.c).
# Two runs that differ only in the number of conversions are counted and
# the difference divided, so start-up and table building drop out.
# Instructions are a proxy for time, not time: the script also gives
# llvm-mca's cycles per pixel for the inner loops of both that can be
# isolated, on a processor with a scheduling model of its own.
#
#   bash scripts/bench-aarch64.sh [--mcpu neoverse-n2]
#
# libyuv 1962 is built from ../shared/peers/libyuv-1962.tar.gz (or
# $KELMAR_LIBYUV_ARCHIVE) into the build tree; without the archive the
# bench reports ours alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" --bench-aarch64
build=${KELMAR_BUILD_ROOT:-$root/build}
# The peers folder beside the checkout (or beside the folder of worktrees).
archive=${KELMAR_LIBYUV_ARCHIVE:-}
for peers in "$root/../shared/peers" "$root/../../shared/peers"; do
  [ -z "$archive" ] && [ -f "$peers/libyuv-1962.tar.gz" ] && archive=$peers/libyuv-1962.tar.gz
done
mcpu=neoverse-n2
[ "${1:-}" = --mcpu ] && mcpu=$2
dir=$build/bench-aarch64
mkdir -p "$dir"

cmake -S "$root" -B "$dir/library" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_TOOLS=OFF -DKELMAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir/library" -j2 --target kelmar_static >/dev/null

libyuv_flags=()
if [ -n "$archive" ] && [ -f "$archive" ]; then
  peers=$build/peers
  mkdir -p "$peers"
  [ -d "$peers/libyuv-1962" ] || tar -xzf "$archive" -C "$peers"
  cmake -S "$peers/libyuv-1962" -B "$peers/libyuv-aarch64" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64 \
    -DCMAKE_C_COMPILER=aarch64-linux-gnu-gcc -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ >/dev/null
  cmake --build "$peers/libyuv-aarch64" --target yuv -j2 >/dev/null
  libyuv_flags=(-DKELMAR_COUNT_LIBYUV -isystem "$peers/libyuv-1962/include"
    "$peers/libyuv-aarch64/libyuv.a")
else
  echo "bench-aarch64: no libyuv-1962.tar.gz in ../shared/peers, counting ours alone" >&2
fi

aarch64-linux-gnu-g++ -O2 -std=c++17 -Wall -Wextra -Werror -DKELMAR_COUNT_PATHS \
  -I"$root/include" -I"$root/src" -I"$root/bench" \
  "$root/bench/count_conversions.cpp" "$root/bench/layouts.cpp" \
  "$dir/library/libkelmar_static.a" "${libyuv_flags[@]}" -o "$dir/count_conversions"
gcc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$dir/insn_count.so" "$root/bench/insn_count_plugin.c"

pixels=$((1280 * 720))
# Instructions of COUNT conversions plus the one before them.
count() {
  qemu-aarch64 -L /usr/aarch64-linux-gnu -cpu cortex-a72 -plugin "$dir/insn_count.so" -d plugin \
    "$dir/count_conversions" "$@" 2>&1 >/dev/null | awk '/^insns/ { print $2 }'
}
# Instructions per pixel of one conversion: [--zoom] CONVERTER LAYOUT SETTING
# [PATH]; with --zoom per pixel of the double-size output.
per_pixel() {
  local zoom=()
  if [ "$1" = --zoom ]; then
    zoom=(--zoom)
    shift
  fi
  local converter=$1 layout=$2 setting=$3
  shift 3
  local one four
  one=$(count "${zoom[@]}" "$converter" "$layout" "$setting" 1 "$@")
  four=$(count "${zoom[@]}" "$converter" "$layout" "$setting" 5 "$@")
  awk -v a="$one" -v b="$four" -v p=$pixels 'BEGIN { printf "%.2f", (b - a) / 4 / p }'
}

declare -A peer=([rgb24]="I420ToRGB24Matrix (JPEG)" [rgb555]="I420ToARGB1555"
  [rgb565]="I420ToRGB565Matrix (JPEG)" [uyvy]="I420ToUYVY" [yuy2]="I420ToYUY2")
echo "Instructions per pixel, 1280 x 720, full map, qemu-aarch64 -cpu cortex-a72"
echo "(adjusted: brightness 2, contrast 3, saturation 2; libyuv has no adjustments)"
echo
echo "| layout | ours integer | ours neutral | ours adjusted | libyuv 1962 | neutral / libyuv | adjusted / libyuv |"
echo "|---|---:|---:|---:|---|---:|---:|"
for layout in rgb24 rgb555 rgb565 pal8 uyvy yuy2; do
  integer=$(per_pixel kelmar $layout neutral integer)
  neutral=$(per_pixel kelmar $layout neutral)
  adjusted=$(per_pixel kelmar $layout adjusted)
  theirs="-" ratios="- | -"
  if [ ${#libyuv_flags[@]} -gt 0 ] && [ -n "${peer[$layout]:-}" ]; then
    yuv=$(per_pixel libyuv $layout neutral)
    theirs="$yuv (\`${peer[$layout]}\`)"
    ratios=$(awk -v n="$neutral" -v a="$adjusted" -v y="$yuv" 'BEGIN { printf "%.2f | %.2f", n / y, a / y }')
  fi
  echo "| $layout | $integer | $neutral | $adjusted | $theirs | $ratios |"
done

echo
echo "At double size, per pixel of the 1280 x 720 output (a 640 x 360 picture):"
echo
echo "| layout | ours integer | ours neutral | ours adjusted |"
echo "|---|---:|---:|---:|"
for layout in rgb24 rgb555 rgb565 pal8; do
  echo "| $layout | $(per_pixel --zoom kelmar $layout neutral integer)" \
    "| $(per_pixel --zoom kelmar $layout neutral) | $(per_pixel --zoom kelmar $layout adjusted) |"
done

# llvm-mca: the inner loops as the compilers laid them out, between the
# loop's label and its backward branch, extracted from the disassembly.
echo
bash "$root/scripts/mca-aarch64.sh" "$dir/count_conversions" "$mcpu"
