#!/usr/bin/env bash
# Installs the packages, builds the demo optimised and runs it headless for a number of frames,
# writing a screenshot of the last one.
#   bash tools/demo.sh [FRAMES] [SCREENSHOT]     (defaults: 300, build/demo/demo.png)
# In a window instead: build/demo/examples/demo/zq_demo --window
# (without a display: xvfb-run -a build/demo/examples/demo/zq_demo --window --frames 300).
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-300}
shot=${2:-build/demo/demo.png}

bash tools/setup-deps.sh
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DZQ_BUILD_TESTS=OFF \
  -DZQ_BUILD_BENCH=OFF >/dev/null
cmake --build build/demo -j "$(nproc)" --target zq_demo
mkdir -p "$(dirname "$shot")"
shot=$(cd "$(dirname "$shot")" && pwd)/$(basename "$shot")
# The library writes its log AppLog.txt into the directory it starts in.
cd build/demo
./examples/demo/zq_demo --frames "$frames" --screenshot "$shot"
echo "log: $(pwd)/AppLog.txt"
