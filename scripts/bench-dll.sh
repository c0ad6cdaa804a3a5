#!/usr/bin/env bash
# KELMAR.dll (32- and 64-bit, under wine) against libkelmar.so of the same
# tree: one timing program built three times runs the same workload (1280 x
# 720, full map, every layout neutral and adjusted); the three take turns
# RUNS times and each case keeps its fastest time.  Prints DLL / .so per
# layout (below 1: the DLL is faster).  Wine runs the DLL's code natively.
# --tier PATH forces that code path (avx2, ssse3, sse2, ...) in every build,
# as on a processor that has nothing wider.
#   bash scripts/bench-dll.sh [--tier PATH] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}
tier=()
if [ "${1:-}" = --tier ]; then
  tier=(--tier "${2:?--tier needs a path name}")
  shift 2
fi
runs=${1:-3}

bash "$root/scripts/install-deps.sh" --bench
for bits in 32 64; do
  toolchain=mingw-i686
  [ $bits = 64 ] && toolchain=mingw-x86_64
  cmake -S "$root" -B "$build/bench-win$bits" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON -DKELMAR_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build/bench-win$bits" -j "$(nproc)" --target kelmar kelmar_tiers kelmar_dll_timing >/dev/null
done
cmake -S "$root" -B "$build/bench" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON \
  -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build/bench" -j "$(nproc)" --target kelmar_dll_timing >/dev/null

export WINEPREFIX=$build/bench-wineprefix WINEARCH=win64 WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || { wineboot --init >/dev/null 2>&1; wineserver --wait; }
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
for ((run = 1; run <= runs; run++)); do
  "$build/bench/bench/kelmar_dll_timing" "${tier[@]}" >>"$results/so"
  for bits in 32 64; do
    (cd "$build/bench-win$bits" &&
      wine ./kelmar_dll_timing.exe "${tier[@]}" | tr -d '\r' >>"$results/win$bits")
  done
done
echo "KELMAR.dll / libkelmar.so, 1280x720, full map, fastest of $runs runs x 15 rounds${tier:+, path ${tier[1]}}"
echo
echo "| layout | setting | .so us | 32-bit DLL / .so | 64-bit DLL / .so |"
echo "|---|---|---:|---:|---:|"
awk '
  { key = $1 " " $2; file = FILENAME
    if (!((file, key) in best) || $3 < best[file, key]) best[file, key] = $3
    if (!(key in seen)) { seen[key] = 1; order[++n] = key } }
  END {
    for (i = 1; i <= n; i++) {
      k = order[i]; split(k, part, " ")
      so = best[ARGV[1], k]
      printf "| %s | %s | %.0f | %.2f | %.2f |\n", part[1], part[2], so,
             best[ARGV[2], k] / so, best[ARGV[3], k] / so
    }
  }' "$results/so" "$results/win32" "$results/win64"
