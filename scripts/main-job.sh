#!/usr/bin/env bash
# The main job: builds the library and kelmar-convert, then converts the
# built-in test picture into every output layout, plus a contact sheet of
# them all, in out/.  Installs what the build needs if it is missing first
# (install-deps.sh --main; needs root on a fresh machine): the tests' tools
# are left to scripts/test.sh.
#   KELMAR_BUILD_ROOT   where build trees go (default: build/)
#   KELMAR_OUT          where the pictures go (default: out/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}/main-job
out=${KELMAR_OUT:-$root/out}

bash "$root/scripts/install-deps.sh" --main

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKELMAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target kelmar-convert

"$build/tools/kelmar-convert" --format all --output "$out/"
echo "Wrote, in $out:"
ls -l "$out"
