#!/usr/bin/env bash
# The library of this tree against an earlier revision's, single-threaded,
# in paired rounds in one process (a single run's spread here is 20 % or
# more, so the two are compared side by side, never across runs).
#   bash scripts/bench-builds.sh [REVISION] [ROUNDS]
# REVISION defaults to b858c44, the last build before the per-call state.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}
revision=${1:-b858c44}
rounds=${2:-31}

bash "$root/scripts/install-deps.sh" --bench
baseline=$build/baseline-$revision
rm -rf "$baseline/src"
mkdir -p "$baseline/src"
git -C "$root" archive "$revision" | tar -x -C "$baseline/src"
cmake -S "$baseline/src" -B "$baseline/build" -DCMAKE_BUILD_TYPE=Release \
  -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$baseline/build" -j "$(nproc)" --target kelmar >/dev/null
cmake -S "$root" -B "$build/bench" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON \
  -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build/bench" -j "$(nproc)" --target kelmar kelmar_build_compare >/dev/null
echo "baseline: $revision; candidate: $(git -C "$root" describe --always --dirty)"
"$build/bench/bench/kelmar_build_compare" "$baseline/build/libkelmar.so" "$build/bench/libkelmar.so" \
  "$rounds"
