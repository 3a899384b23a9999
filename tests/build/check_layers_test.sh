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
    "$work/tree/tools/pack/files" "$work/tree/tools/pack/chain" "$work/tree/tools/pack/commands"
  printf '#include "platform/platform.h"\n#include <zlib.h>\n' >"$work/tree/src/format/read.cpp"
  printf '#include "format/read.h"\n#include "core/status.h"\n' >"$work/tree/src/selection/pick.cpp"
  printf 'add_library(pack files/bytes.cpp)\n' >"$work/tree/tools/pack/CMakeLists.txt"
  printf '#include "files/bytes.h"\n#include <vector>\n' >"$work/tree/tools/pack/files/bytes.cpp"
  printf '#include "chain/walk.h"\n#include "files/bytes.h"\n' >"$work/tree/tools/pack/chain/walk.cpp"
  printf '#include "chain/walk.h"\n#include "format/read.h"\n#include "local.h"\n#include <CLI/CLI.hpp>\n' \
    >"$work/tree/tools/pack/commands/list.cpp"
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
printf '#include "container/blob_table.h"\n' >>"$work/tree/tools/pack/commands/list.cpp"
expect fail "the packing tool including the launcher's container code" "tools/pack/commands/list.cpp:5"

make_tree
printf '#include "commands/list.h"\n' >>"$work/tree/tools/pack/chain/walk.cpp"
expect fail "a packing tool room including a room above it" "tools/pack/chain/walk.cpp:3 includes commands/list.h"

make_tree
printf '#include "files/bytes.h"\n' >"$work/tree/tools/pack/main.cpp"
expect fail "a packing tool file outside the rooms" "tools/pack/main.cpp is in none of the rooms"

make_tree
mkdir -p "$work/tree/tools/pack/misc"
expect fail "a packing tool folder that is no room" "tools/pack/misc is not one of the rooms"

make_tree
mkdir -p "$work/tree/src/misc"
expect fail "a source folder that is no layer" "src/misc is not one of the layers"
