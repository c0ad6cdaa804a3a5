#!/usr/bin/env bash
# Builds both forms of the library and runs every test:
#   1. KELMAR.dll for 32- and 64-bit Windows with the mingw-w64 cross
#      compilers;
#   2. the native library, tools and tests with g++ (the reference build),
#      including the DLLs' file checks and their output under wine against
#      the native build's, every code path forced;
#   3. the native tests again with clang, AddressSanitizer and
#      UndefinedBehaviorSanitizer, and the thread-safety stress with
#      ThreadSanitizer;
#   4. the same bytes from other builds: g++ -O3 -march=x86-64-v3, clang
#      -O3 -march=x86-64-v3 -ffast-math and an aarch64 cross build under
#      qemu-user each pass the unit tests (with the committed table digests)
#      and must print the reference build's conformance output (aarch64 on
#      its Advanced SIMD and integer paths too);
#   5. each libFuzzer target for FUZZ_SECONDS (default 30) seconds;
#   6. the benchmarks, built but not run.
# Installs what is missing first, the tests' tools included (needs root on a
# fresh machine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}
jobs=$(nproc)

bash "$root/scripts/install-deps.sh"

# A step's heading, with the time since the start, so a slow step shows.
section() { echo "== $* (at $((SECONDS / 60))m$((SECONDS % 60))s)"; }

for bits in 32 64; do
  toolchain=mingw-i686
  [ $bits = 64 ] && toolchain=mingw-x86_64
  section "KELMAR.dll, $bits-bit Windows ($toolchain)"
  cmake -S "$root" -B "$build/win$bits" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build/win$bits" -j "$jobs"
done

section "native (g++), the reference build"
cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Release \
  -DKELMAR_WIN32_DIR="$build/win32" -DKELMAR_WIN64_DIR="$build/win64" >/dev/null
cmake --build "$build/native" -j "$jobs"
reference=$build/native/conformance.txt
"$build/native/tests/kelmar_conformance" >"$reference"

section "native (clang, address and undefined-behaviour sanitizers)"
cmake -S "$root" -B "$build/sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELMAR_SANITIZE=ON >/dev/null
cmake --build "$build/sanitize" -j "$jobs"

section "tests: sanitizers"
ctest --test-dir "$build/sanitize" --output-on-failure -j "$jobs"

# ThreadSanitizer does not see 32-byte accesses, so the stress also runs
# with the SSE2 and integer paths forced (the threads.* tests).
section "threads (clang, thread sanitizer)"
cmake -S "$root" -B "$build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELMAR_SANITIZE=thread >/dev/null
cmake --build "$build/tsan" -j "$jobs" --target kelmar_conformance kelmar_tool_tests >/dev/null
ctest --test-dir "$build/tsan" -L threads --output-on-failure
"$build/tsan/tests/tool/kelmar_tool_tests" --gtest_filter='Threads.*' --gtest_brief=1

# exact_build NAME RUNNER PATHS [cmake options...]: the unit tests and the
# conformance program built another way.  The tests compare every table with
# the committed digests; the conformance output must equal the reference's,
# on the automatic path and on each of the code paths PATHS forces.
exact_build() {
  local name=$1 runner=$2 paths=$3
  shift 3
  local dir=$build/exact-$name
  section "same bytes: $name"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_TOOLS=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" --target kelmar_tests kelmar_conformance >/dev/null
  # shellcheck disable=SC2086
  $runner "$dir/tests/kelmar_tests" --gtest_brief=1
  # shellcheck disable=SC2086
  $runner "$dir/tests/kelmar_conformance" >"$dir/conformance.txt"
  if ! cmp -s "$reference" "$dir/conformance.txt"; then
    echo "test.sh: $name converts differently from the reference build:" >&2
    diff "$reference" "$dir/conformance.txt" | head -5 >&2
    exit 1
  fi
  local path
  for path in $paths; do
    # shellcheck disable=SC2086
    $runner "$dir/tests/kelmar_conformance" --path "$path" >"$dir/conformance-$path.txt"
    if ! cmp -s "$reference" "$dir/conformance-$path.txt"; then
      echo "test.sh: $name on the $path path converts differently from the reference build:" >&2
      diff "$reference" "$dir/conformance-$path.txt" | head -5 >&2
      exit 1
    fi
  done
  echo "$name: $(wc -l <"$reference") conversions identical to the reference build" \
    "(automatic path${paths:+; also $paths})"
}
exact_build gcc-x86-64-v3 "" "" -DCMAKE_CXX_FLAGS="-O3 -march=x86-64-v3"
exact_build clang-x86-64-v3-fast-math "" "" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-O3 -march=x86-64-v3 -ffast-math"
# The automatic path on aarch64 is the Advanced SIMD one.
exact_build aarch64 "qemu-aarch64 -L /usr/aarch64-linux-gnu" "neon integer" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake"

FUZZ_SECONDS=${FUZZ_SECONDS:-30} bash "$root/scripts/fuzz.sh"

# The benchmarks are built, never timed here, so that a change of the
# library's interfaces cannot leave them behind (the newest libyuv, which
# scripts/bench.sh builds from its archive, is left out).
section "benchmarks (built, not run)"
cmake -S "$root" -B "$build/bench-check" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_BENCH=ON \
  -DKELMAR_BUILD_TESTS=OFF -DKELMAR_BUILD_TOOLS=OFF -DKELMAR_NEWEST_LIBYUV_ARCHIVE=/nonexistent >/dev/null
cmake --build "$build/bench-check" -j "$jobs" >/dev/null

section "tests: native and both DLLs under wine"
ctest --test-dir "$build/native" --output-on-failure -j "$jobs"
section "all tests passed"
