#!/usr/bin/env bash
# KELMAR.dll (32- and 64-bit, under wine) against libkelmar.so of the same
# tree: one timing program built three times runs the same workload (1280 x
# 720, full map, every layout neutral and adjusted); the three take turns
# RUNS times and each case keeps its fastest time.  Prints DLL / .so per
# layout (below 1: the DLL is faster).  Wine runs the DLL's code natively.
# --tier PATH forces that code path (avx2, ssse3, sse2, ...) in every build,
# as on a processor that has nothing wider.
# --base REVISION times this tree's DLLs against those of REVISION instead,
# each against its own kind, taking turns, and prints this tree's / the
# revision's (below 1: this tree is faster); the same timing program loads
# both, so REVISION needs the test export that forces a path.
#   bash scripts/bench-dll.sh [--tier PATH] [--base REVISION] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}
tier=()
base=""
while [ $# -gt 0 ]; do
  case "$1" in
    --tier) tier=(--tier "${2:?--tier needs a path name}"); shift 2 ;;
    --base) base=${2:?--base needs a revision}; shift 2 ;;
    -*) echo "bench-dll.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
runs=${1:-3}

# build_dlls SOURCE TREE BITS: the DLL, its test build in tiers/ and the
# timing program of SOURCE in TREE.
build_dlls() {
  local toolchain=mingw-i686
  [ "$3" = 64 ] && toolchain=mingw-x86_64
  cmake -S "$1" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON -DKELMAR_BUILD_TESTS=OFF >/dev/null
  cmake --build "$2" -j "$(nproc)" --target kelmar kelmar_tiers kelmar_dll_timing >/dev/null
}

bash "$root/scripts/install-deps.sh" --bench
for bits in 32 64; do build_dlls "$root" "$build/bench-win$bits" $bits; done
if [ -n "$base" ]; then
  baseline=$build/dll-baseline-$base
  rm -rf "$baseline/src"
  mkdir -p "$baseline/src"
  git -C "$root" archive "$base" | tar -x -C "$baseline/src"
  for bits in 32 64; do
    build_dlls "$baseline/src" "$baseline/win$bits" $bits
    # This tree's program, so that both sides run the same workload.
    cp "$build/bench-win$bits/kelmar_dll_timing.exe" "$baseline/win$bits/"
  done
else
  cmake -S "$root" -B "$build/bench" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON \
    -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF >/dev/null
  cmake --build "$build/bench" -j "$(nproc)" --target kelmar_dll_timing >/dev/null
fi

export WINEPREFIX=$build/bench-wineprefix WINEARCH=win64 WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || { wineboot --init >/dev/null 2>&1; wineserver --wait; }
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
# time_dll DIR OUT: one run of the timing program in DIR, appended to OUT.
time_dll() { (cd "$1" && wine ./kelmar_dll_timing.exe "${tier[@]}" | tr -d '\r' >>"$2"); }
for ((run = 1; run <= runs; run++)); do
  if [ -n "$base" ]; then
    for bits in 32 64; do
      time_dll "$build/bench-win$bits" "$results/new$bits"
      time_dll "$baseline/win$bits" "$results/old$bits"
    done
  else
    "$build/bench/bench/kelmar_dll_timing" "${tier[@]}" >>"$results/so"
    for bits in 32 64; do time_dll "$build/bench-win$bits" "$results/win$bits"; done
  fi
done

# ratio_table A B C D: per case, the fastest of A over that of B and of C
# over that of D.
ratio_table() {
  awk '
    { key = $1 " " $2; file = FILENAME
      if (!((file, key) in best) || $3 < best[file, key]) best[file, key] = $3
      if (!(key in seen)) { seen[key] = 1; order[++n] = key } }
    END {
      for (i = 1; i <= n; i++) {
        k = order[i]; split(k, part, " ")
        printf "| %s | %s | %.0f | %.2f | %.2f |\n", part[1], part[2], best[ARGV[2], k],
               best[ARGV[1], k] / best[ARGV[2], k], best[ARGV[3], k] / best[ARGV[4], k]
      }
    }' "$@"
}
label="1280x720, full map, fastest of $runs runs x 15 rounds${tier:+, path ${tier[1]}}"
if [ -n "$base" ]; then
  echo "KELMAR.dll of this tree / of $base, $label"
  echo
  echo "| layout | setting | $base 32-bit us | 32-bit DLL new / old | 64-bit DLL new / old |"
  echo "|---|---|---:|---:|---:|"
  ratio_table "$results/new32" "$results/old32" "$results/new64" "$results/old64"
else
  echo "KELMAR.dll / libkelmar.so, $label"
  echo
  echo "| layout | setting | .so us | 32-bit DLL / .so | 64-bit DLL / .so |"
  echo "|---|---|---:|---:|---:|"
  ratio_table "$results/win32" "$results/so" "$results/win64" "$results/so"
fi
