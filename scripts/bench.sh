#!/usr/bin/env bash
# Builds and runs the benchmark: every layout against libyuv, libswscale and
# memcpy in one run, then the ratio tables.  libyuv is Debian's and, when
# ../shared/peers/libyuv-1962.tar.gz is next to the project (or the archive
# named by the CMake cache variable KELMAR_NEWEST_LIBYUV_ARCHIVE), also that
# newest release, built with clang into the build tree; the results go to
# build/bench/results.json and a chart of them to build/bench/bench.png.  Extra arguments go to the
# benchmark: --paths for one row per code path, --scaling for two threads
# against one (two streams, and one picture in two bands) instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}/bench

bash "$root/scripts/install-deps.sh" --bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON \
  -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target kelmar_bench
"$build/bench/kelmar_bench" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.1 --benchmark_out="$build/results.json" --benchmark_out_format=json "$@"
# The chart of the README, from the run's JSON (the main comparison only).
case " $* " in
  *" --scaling "* | *" --benchmark_filter"*) ;;
  *) "$(command -v /usr/bin/python3 || command -v python3)" "$root/scripts/plot-bench.py" "$build/results.json" "$build/bench.png" &&
    echo "chart: $build/bench.png" ;;
esac
