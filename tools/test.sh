#!/usr/bin/env bash
# Checks that includes point downwards, then builds and runs every test: once optimised, once
# under AddressSanitizer and UndefinedBehaviorSanitizer; then installs the library into two temporary prefixes and builds a
# program against each, generates the API reference and fuzzes for a bounded time.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash tools/setup-deps.sh

echo "== include direction (platform < base < softrender < graphics)"
bash tools/check_includes.sh

run_suite() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja -DZQ_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

echo "== optimised build"
run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_BUILD_TESTS=ON -DZQ_BUILD_BENCH=ON

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=ON -DZQ_BUILD_TESTS=ON \
  -DZQ_BUILD_BENCH=OFF

echo "== installed as a user would: two prefixes, find_package and pkg-config"
bash tools/install-test.sh

echo "== API reference (Doxygen; an undocumented public entry fails)"
bash tools/docs.sh

echo "== readers, text and public calls under libFuzzer (bounded)"
bash tools/fuzz.sh 15 1
