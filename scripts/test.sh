#!/usr/bin/env bash
# Builds both forms of the library and runs every test:
#   1. KELMAR.dll with the mingw-w64 i686 cross compiler;
#   2. the native library, tools and tests with g++, including the DLL's
#      file checks and its output under wine against the native build's;
#   3. the native tests again with clang, AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   4. each libFuzzer target for FUZZ_SECONDS (default 60) seconds.
# Installs what is missing first (needs root on a fresh machine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}
jobs=$(nproc)

bash "$root/scripts/install-deps.sh"

echo "== KELMAR.dll (i686-w64-mingw32)"
cmake -S "$root" -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win32" -j "$jobs"

echo "== native (g++)"
cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=Release \
  -DKELMAR_WIN32_DIR="$build/win32" >/dev/null
cmake --build "$build/native" -j "$jobs"

echo "== native (clang, address and undefined-behaviour sanitizers)"
cmake -S "$root" -B "$build/sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELMAR_SANITIZE=ON >/dev/null
cmake --build "$build/sanitize" -j "$jobs"

echo "== tests: sanitizers"
ctest --test-dir "$build/sanitize" --output-on-failure -j "$jobs"
FUZZ_SECONDS=${FUZZ_SECONDS:-60} bash "$root/scripts/fuzz.sh"

echo "== tests: native and KELMAR.dll under wine"
ctest --test-dir "$build/native" --output-on-failure -j "$jobs"
