#!/usr/bin/env bash
# The include-direction check passes on the tree and fails on a copy with one planted upward
# include in each lower folder. Usage: include_direction_test.sh <project root>
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
check="$root/tools/check_includes.sh"

bash "$check" "$root"
for planted in "platform/types.h:base/rect.h" "base/rect.h:softrender/memimg.h" \
               "softrender/memimg.h:graphics/graph.h"; do
  file=${planted%%:*}
  rm -rf "$work/lib"
  cp -r "$root/lib" "$work/lib"
  echo "#include \"${planted#*:}\"" >>"$work/lib/$file"
  if bash "$check" "$work" 2>/dev/null; then
    echo "an upward include in lib/$file was not reported" >&2
    exit 1
  fi
done
echo "1 passed, 0 failed"
