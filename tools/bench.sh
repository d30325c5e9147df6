#!/usr/bin/env bash
# Builds the benchmarks optimised (build/bench, tests off) and runs every bench/*_bench program,
# the comparison with pixman and SDL2 last. Extra arguments go to every program, after the
# defaults, so they may override them (e.g. --benchmark_min_time=0.5 --benchmark_filter=16-bit).
# Each case measures for BENCH_MIN_TIME seconds (default 0.05): the whole run takes a few
# minutes at most. Exits non-zero when a program fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash tools/setup-deps.sh

cmake -S "$root" -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZQ_BUILD_TESTS=OFF \
  -DZQ_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j "$jobs"

min_time=${BENCH_MIN_TIME:-0.05}
status=0
run() {
  echo
  echo "== $1"
  "build/bench/bench/$1" --benchmark_min_time="$min_time" "${@:2}" || status=1
}

for src in bench/*_bench.cpp; do
  name=$(basename "$src" .cpp)
  [ "$name" = compare_bench ] && continue
  run "$name" "$@"
done

if [ -x build/bench/bench/compare_bench ]; then
  run compare_bench "$@"
else
  echo "compare_bench was not built: pixman-1 is missing (Debian: libpixman-1-dev)" >&2
  status=1
fi
exit "$status"
