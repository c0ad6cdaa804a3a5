#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) and runs each for a bounded time, starting from the seed inputs
# in fuzz/corpus/<target>.  Fails on the first crash, sanitizer report, leak,
# timeout or out-of-memory; the input that caused it is left in
# $build/fuzz/artifacts.
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_TARGETS   targets to run (default: library y4m options)
#   FUZZ_ARGS      extra libFuzzer options, e.g. "-jobs=4 -workers=4"
#   KELMAR_BUILD_ROOT  where build trees go (default: build/)
# New inputs that reach new code are kept in $build/fuzz/corpus/<target>
# and reused by the next run; the seeds in the repository are not changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KELMAR_BUILD_ROOT:-$root/build}/fuzz
seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-library y4m options}

if ! command -v clang++ >/dev/null ||
  ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  bash "$root/scripts/install-deps.sh" --fuzz
fi

echo "== fuzz targets (clang, libFuzzer, address and undefined-behaviour sanitizers)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKELMAR_SANITIZE=ON -DKELMAR_BUILD_FUZZ=ON -DKELMAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target $(printf 'kelmar_%s_fuzzer ' $targets)

mkdir -p "$build/artifacts"
for target in $targets; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  dict=()
  [ -f "$root/fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
  echo "== fuzzing $target for ${seconds}s"
  # Standard output is closed: the targets run code that prints help texts.
  # The lines on every new input and the suggested dictionary are left out.
  set +e
  # shellcheck disable=SC2086
  (cd "$build" && "$build/fuzz/kelmar_${target}_fuzzer" "$corpus" "$root/fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -close_fd_mask=1 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "${dict[@]}" \
    ${FUZZ_ARGS:-}) 2>&1 |
    grep --line-buffered -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)|^[[:space:]]+NEW_FUNC|# Uses: [0-9]+$'
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 0 ]; then
    echo "fuzz.sh: $target failed (status $status); inputs in $build/artifacts" >&2
    exit 1
  fi
done
echo "== fuzzing: no findings"
