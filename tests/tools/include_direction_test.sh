#!/usr/bin/env bash
# The include-direction check passes on the tree and fails on a copy with one planted upward
# include in each lower folder, in every form that compiles. Usage: include_direction_test.sh
# <project root>
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check="$root/tools/check_includes.sh"

bash "$check" "$root"
for planted in 'platform/types.h:#include "base/rect.h"' \
               'base/rect.h:#include <softrender/memimg.h>' \
               'softrender/memimg.h:#  include  "../graphics/graph.h"'; do
  file=${planted%%:*}
  rm -rf "$work/lib"
  cp -r "$root/lib" "$work/lib"
  echo "${planted#*:}" >>"$work/lib/$file"
  if bash "$check" "$work" 2>/dev/null; then
    echo "an upward include in lib/$file was not reported: ${planted#*:}" >&2
    exit 1
  fi
done
echo "1 passed, 0 failed"
