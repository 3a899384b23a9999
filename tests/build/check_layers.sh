#!/usr/bin/env bash
# The source folders form layers, lowest first. A file may include headers of
# its own folder and of the folders below it, never of one above it. The
# packing tool's folders (rooms) form layers of their own by the same rule,
# and of the launcher's layers they may include only format and those below.
# Usage: check_layers.sh [SOURCE_ROOT]   (default: the repository)
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/../.." && pwd)}"
layers=(platform core format container selection extract handoff launcher)
rooms=(files text msi chain setup commands)
tool_may_include='^(core|format|platform)/'

# rank_in LIST NAME: NAME's place in the array LIST, -1 when it is not there.
rank_in() {
  local -n list=$1
  local i
  for i in "${!list[@]}"; do [[ "${list[$i]}" == "$2" ]] && { echo "$i"; return; }; done
  echo -1
}
rank() { rank_in layers "$1"; }

status=0
fail() { echo "FAIL: $*"; status=1; }

# "file:line:folder/header.h" for every quoted include that names a folder.
includes_of() {
  grep -HnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/[^"]+"' "$@" 2>/dev/null |
    sed -E 's/^([^:]+:[0-9]+):.*"([^"]+)"/\1:\2/' || true
}

for folder in "$root"/src/*/; do
  own=$(basename "$folder")
  own_rank=$(rank "$own")
  [[ $own_rank -ge 0 ]] || { fail "src/$own is not one of the layers (${layers[*]})"; continue; }
  while IFS=: read -r file line header; do
    [[ -n "$file" ]] || continue
    target=${header%%/*}
    target_rank=$(rank "$target")
    [[ $target_rank -ge 0 ]] || continue  # not a source folder (e.g. gtest/, openssl/)
    if ((target_rank > own_rank)); then
      fail "${file#"$root"/}:$line includes $header, a layer above $own"
    fi
  done < <(includes_of "$folder"*.h "$folder"*.cpp)
done

if [[ -d "$root/tools/pack" ]]; then
  for entry in "$root"/tools/pack/*; do
    name=$(basename "$entry")
    if [[ -f "$entry" ]]; then
      [[ "$name" == CMakeLists.txt ]] || fail "tools/pack/$name is in none of the rooms (${rooms[*]})"
      continue
    fi
    own_rank=$(rank_in rooms "$name")
    [[ $own_rank -ge 0 ]] || { fail "tools/pack/$name is not one of the rooms (${rooms[*]})"; continue; }
    while IFS=: read -r file line header; do
      [[ -n "$file" ]] || continue
      target=${header%%/*}
      target_rank=$(rank_in rooms "$target")
      if ((target_rank > own_rank)); then
        fail "${file#"$root"/}:$line includes $header, a room above $name"
      elif ((target_rank < 0)) && [[ $(rank "$target") -ge 0 && ! "$header" =~ $tool_may_include ]]; then
        fail "${file#"$root"/}:$line includes $header; the packing tool uses only core/, format/ and platform/"
      fi
    done < <(includes_of "$entry"/*.h "$entry"/*.cpp)
  done
fi

[[ $status -eq 0 ]] && echo "ok: every include points down the layers ${layers[*]} and the rooms ${rooms[*]}"
exit $status
