#!/usr/bin/env bash
# The source folders form layers, lowest first. A file may include headers of
# its own folder and of the folders below it, never of one above it; the
# packing tool may include only the platform-free format and core layers.
# Usage: check_layers.sh [SOURCE_ROOT]   (default: the repository)
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/../.." && pwd)}"
layers=(platform core format container selection extract handoff launcher)
tool_may_include='^(core|format|platform)/'

rank() {
  local i
  for i in "${!layers[@]}"; do [[ "${layers[$i]}" == "$1" ]] && { echo "$i"; return; }; done
  echo -1
}

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
  while IFS=: read -r file line header; do
    [[ -n "$file" ]] || continue
    target=${header%%/*}
    [[ $(rank "$target") -ge 0 ]] || continue
    [[ "$header" =~ $tool_may_include ]] || fail "${file#"$root"/}:$line includes $header; the packing tool uses only core/ and format/"
  done < <(includes_of "$root"/tools/pack/*.h "$root"/tools/pack/*.cpp)
fi

[[ $status -eq 0 ]] && echo "ok: every include points down the layers ${layers[*]}"
exit $status
