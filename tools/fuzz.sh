#!/usr/bin/env bash
# Builds the fuzz targets (the image readers, the text drawing, programs of public calls) with
# clang and runs each for a short, bounded time on its seed corpus.
# Usage: tools/fuzz.sh [seconds per target, default 15] [random seed, default a new one each run;
# the test run fixes it, so that it finds the same inputs on every machine and a finding is a
# regression, not luck]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-15}
seed=${2:-0}
build=build/fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZQ_FUZZ=ON -DZQ_SANITIZE=ON -DZQ_BUILD_TESTS=OFF -DZQ_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for reader in bmp bgra tga dds png jpeg text api; do
  echo "== fuzzing $reader for ${seconds}s"
  work=$(mktemp -d)
  # New inputs go to the scratch folder; the committed seeds are only read.
  # Crashing or slow inputs are kept in the build folder, not the source tree.
  mkdir -p "$build/artifacts"
  "$build/fuzz/${reader}_fuzz" "$work" "fuzz/corpus/$reader" -max_total_time="$seconds" \
    -seed="$seed" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/${reader}-" 2>&1 | tail -n 4
  status=${PIPESTATUS[0]}
  rm -rf "$work"
  [ "$status" -eq 0 ] || { echo "fuzz target $reader failed"; exit 1; }
done
