#!/usr/bin/env bash
# Installs the library as a user would (default build type, tests and benchmarks off) into two
# temporary roots, never the real ones: one with the prefix /usr/local (libdir lib) and one with
# the prefix /usr (Debian's multiarch libdir), each through DESTDIR. For each it builds the
# example program of the public header against the installed files, once through
# find_package(zqlib) and once through pkg-config, and runs both headless for a few frames.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build/install-test
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DZQ_WERROR=ON -DZQ_BUILD_DEMO=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr/local >/dev/null
cmake --build "$build" -j "$(nproc)"
cmake -DHEADER="$root/include/zqlib/zqlib.h" -DOUT="$work/example.cpp" \
  -P "$root/cmake/header-example.cmake"
cp examples/demo/data/sprite.png "$work/ship.png"

# check PREFIX: install under $work/PREFIX-root, build and run the example both ways.
check() {
  local prefix=$1 dest="$work/root$1"
  # A new prefix gives the libdir its default for that prefix (GNUInstallDirs).
  cmake -S "$root" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  DESTDIR="$dest" cmake --install "$build" >/dev/null
  local libdir
  libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
  local installed="$dest$prefix"
  echo "== $prefix (libdir $libdir)"
  for f in "include/zqlib/zqlib.h" "include/zqlib/version.h" "$libdir/libzq_graphics.a" \
    "$libdir/pkgconfig/zqlib.pc" "$libdir/cmake/zqlib/zqlibConfig.cmake" \
    "share/doc/zqlib/LICENSE"; do
    [ -f "$installed/$f" ] || { echo "missing after install: $installed/$f"; exit 1; }
  done

  # Through find_package.
  cmake -S tests/install -B "$work/cmake$prefix" -G Ninja -DCMAKE_PREFIX_PATH="$installed" \
    -DZQ_EXAMPLE="$work/example.cpp" >/dev/null
  cmake --build "$work/cmake$prefix" >/dev/null

  # Through pkg-config, with the paths it derives checked against the installed tree.
  export PKG_CONFIG_PATH="$installed/$libdir/pkgconfig"
  local variable expected
  for variable in includedir libdir; do
    expected=$installed/include
    [ "$variable" = libdir ] && expected=$installed/$libdir
    if [ "$(realpath "$(pkg-config --variable=$variable zqlib)")" != "$(realpath "$expected")" ]; then
      echo "zqlib.pc gives $variable $(pkg-config --variable=$variable zqlib), not $expected"
      exit 1
    fi
  done
  # shellcheck disable=SC2046
  g++ -std=c++20 -o "$work/pc-example" "$work/example.cpp" $(pkg-config --cflags --libs zqlib)
  unset PKG_CONFIG_PATH

  # Headless whatever the session has: no display for SDL to find.
  local program output
  for program in "$work/cmake$prefix/example" "$work/pc-example"; do
    if ! output=$(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY "$program" 5 2>&1) ||
      grep -q "could not be loaded" <<<"$output"; then
      echo "$program failed: $output"
      cat "$work/AppLog.txt"
      exit 1
    fi
  done
  echo "find_package and pkg-config: built and ran"
}

check /usr/local
check /usr
