#!/usr/bin/env bash
# Fails when a file under lib/ includes a header of a higher folder: includes point downwards
# only (platform < base < softrender < graphics). Usage: check_includes.sh [project root]
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
folders=(platform base softrender graphics)
rank() {
  local i
  for i in "${!folders[@]}"; do [ "${folders[$i]}" = "$1" ] && echo "$i" && return; done
  echo -1
}
status=0
for own in "${folders[@]}"; do
  ownRank=$(rank "$own")
  [ -d "$root/lib/$own" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$hit")
    targetRank=$(rank "$target")
    if [ "$targetRank" -gt "$ownRank" ]; then
      echo "upward include: ${file#"$root"/} includes a header of lib/$target" >&2
      status=1
    fi
  done < <(grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' "$root/lib/$own" || true)
done
exit "$status"
