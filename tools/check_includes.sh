#!/usr/bin/env bash
# Fails when a file under lib/ includes a header of a higher folder: includes point downwards
# only (platform < base < softrender < graphics). Every include form counts ("x", <x>, ../x, with
# any spacing): the path is resolved from the including file's folder, then from lib/, the include
# root. A header under lib/ outside the four folders is reported too. Usage: check_includes.sh
# [project root]
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"
declare -A rank=([platform]=0 [base]=1 [softrender]=2 [graphics]=3)
declare -A present=()
while IFS= read -r f; do present[$f]=1; done < <(find lib -type f)

# Sets `normal` to the path with its "." and ".." segments folded.
normalize() {
  local -a out=()
  local part
  IFS=/ read -ra parts <<<"$1"
  for part in "${parts[@]}"; do
    case "$part" in
      "" | .) ;;
      ..) [ ${#out[@]} -gt 0 ] && unset 'out[${#out[@]}-1]' ;;
      *) out+=("$part") ;;
    esac
  done
  normal=$(IFS=/ && echo "${out[*]}")
}

pattern='^([^:]*):[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"]'
status=0
while IFS= read -r hit; do
  [[ $hit =~ $pattern ]] || continue
  file=${BASH_REMATCH[1]}
  path=${BASH_REMATCH[2]}
  normalize "${file%/*}/$path"
  if [ -z "${present[$normal]:-}" ]; then
    normalize "lib/$path"
    [ -n "${present[$normal]:-}" ] || continue  # a system or third-party header
  fi
  own=${file#lib/}
  own=${own%%/*}
  target=${normal#lib/}
  target=${target%%/*}
  if [ -z "${rank[$target]:-}" ] || [ "${rank[$target]}" -gt "${rank[$own]}" ]; then
    echo "upward include: $file includes $normal" >&2
    status=1
  fi
done < <(grep -rHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' lib || true)
exit "$status"
