#!/usr/bin/env bash
# The layer check itself: it passes a tree whose includes point down and
# fails, naming the file, each kind of include that points up.
set -euo pipefail
check="$(dirname "$0")/check_layers.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_tree() {
  rm -rf "$work/tree"
  mkdir -p "$work/tree/src/platform" "$work/tree/src/core" "$work/tree/src/format" "$work/tree/src/selection" \
    "$work/tree/tools/pack"
  printf '#include "platform/platform.h"\n#include <zlib.h>\n' >"$work/tree/src/format/read.cpp"
  printf '#include "format/read.h"\n#include "core/status.h"\n' >"$work/tree/src/selection/pick.cpp"
  printf '#include "format/read.h"\n#include "local.h"\n' >"$work/tree/tools/pack/list.cpp"
}

expect() {  # expect pass|fail DESCRIPTION [needle]
  local want=$1 what=$2 needle=${3:-}
  local output result=pass
  output=$(bash "$check" "$work/tree" 2>&1) || result=fail
  if [[ $result != "$want" ]]; then echo "FAIL: $what: the check said $result"; echo "$output"; exit 1; fi
  if [[ -n "$needle" && "$output" != *"$needle"* ]]; then echo "FAIL: $what: no mention of $needle"; echo "$output"; exit 1; fi
  echo "ok: $what"
}

make_tree
expect pass "includes that point down"

make_tree
printf '#include "selection/pick.h"\n' >>"$work/tree/src/format/read.cpp"
expect fail "a format file including a selection header" "src/format/read.cpp:3 includes selection/pick.h"

make_tree
printf '  #  include "launcher/state.h"\n' >"$work/tree/src/core/status.h"
expect fail "an indented include of the top layer" "src/core/status.h:1"

make_tree
printf '#include "container/blob_table.h"\n' >>"$work/tree/tools/pack/list.cpp"
expect fail "the packing tool including the launcher's container code" "tools/pack/list.cpp:3"

make_tree
mkdir -p "$work/tree/src/misc"
expect fail "a source folder that is no layer" "src/misc is not one of the layers"
