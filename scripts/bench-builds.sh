#!/usr/bin/env bash
# The library of this tree against an earlier revision's, single-threaded,
# in paired, interleaved rounds in one process (a single run's spread here is
# 20 % or more, so the two are compared side by side, never across runs).
#   bash scripts/bench-builds.sh [--tier PATH] [--zoom] [REVISION] [ROUNDS]
# REVISION defaults to 3a496eb, the last build before the kernel tables.
# --tier integer|mmx|sse2|ssse3|avx2|avx512 forces that code path in both
# builds (by name: revisions number the paths differently);
# without it each build takes its automatic choice.  --zoom times the RGB
# layouts at double size instead.
#
# The shipped library has no way to force a path, so each build is a
# bench-only shared object (never installed): the revision's kelmar_static
# archive with bench/force_path.cpp, whose internals stay hidden so that the
# two builds in one process do not clash.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}
tier=""
zoom=()
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --tier)
      [ $# -ge 2 ] || { echo "bench-builds.sh: --tier needs a path" >&2; exit 2; }
      tier=$2
      shift 2
      ;;
    --zoom) zoom=(--zoom); shift ;;
    -*) echo "bench-builds.sh: unknown option $1" >&2; exit 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
revision=${positional[0]:-3a496eb}
rounds=${positional[1]:-31}
case "$tier" in
  "" | integer | mmx | sse2 | ssse3 | avx2 | avx512) ;;
  *) echo "bench-builds.sh: --tier takes integer, mmx, sse2, ssse3, avx2 or avx512" >&2; exit 2 ;;
esac

# link_bench_library SOURCE BUILD: BUILD/libkelmar_bench.so from BUILD's
# kelmar_static archive of the tree SOURCE.
link_bench_library() {
  local source=$1 out=$2 shim=("$root/bench/force_path.cpp")
  if [ ! -f "$source/src/common/cpu.h" ]; then
    shim=()  # too old to have a path limit: the automatic path only
  elif grep -q "enum class PathLimit" "$source/src/common/cpu.h"; then
    shim+=(-DKELMAR_BENCH_PATH_LIMIT)  # before CodePath
  elif grep -q "CodePathNamed" "$source/src/common/cpu.h"; then
    shim+=(-DKELMAR_BENCH_PATH_NAMES)
  fi
  "${CXX:-c++}" -std=c++17 -O2 -fPIC -fvisibility=hidden -I"$source/include" -I"$source/src" \
    -shared -o "$out/libkelmar_bench.so" "${shim[@]}" \
    -Wl,--whole-archive "$out/libkelmar_static.a" -Wl,--no-whole-archive
}

bash "$root/scripts/install-deps.sh" --bench
baseline=$build/baseline-$revision
rm -rf "$baseline/src"
mkdir -p "$baseline/src"
git -C "$root" archive "$revision" | tar -x -C "$baseline/src"
cmake -S "$baseline/src" -B "$baseline/build" -DCMAKE_BUILD_TYPE=Release \
  -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$baseline/build" -j "$(nproc)" --target kelmar_static >/dev/null
link_bench_library "$baseline/src" "$baseline/build"

cmake -S "$root" -B "$build/bench" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON \
  -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build/bench" -j "$(nproc)" --target kelmar_static kelmar_build_compare >/dev/null
link_bench_library "$root" "$build/bench"

echo "baseline: $revision; candidate: $(git -C "$root" describe --always --dirty);" \
  "path: ${tier:-automatic}"
"$build/bench/bench/kelmar_build_compare" ${tier:+--tier "$tier"} "${zoom[@]}" \
  "$baseline/build/libkelmar_bench.so" "$build/bench/libkelmar_bench.so" "$rounds"
