#!/usr/bin/env bash
# A launcher file that carries no container: the run fails with the not-found
# status (1168). With a quiet switch in any letter case no box appears; without
# one the box with the launcher's file name as caption does, and the exit code
# is the same either way.
source "$(dirname "$0")/lib.sh"

cp "$MSISTUB_EXE" "$E2E_TMP/setup.exe"

for quiet in /qn /QUIET /q; do
  code=$(run_with_limit 60 "$E2E_TMP/setup.exe" "$quiet")
  [ "$code" = 1168 ] || fail "with $quiet: exit code $code, expected 1168 and no box"
done
pass "quiet switches silence the box, exit code 1168"

run_with_limit 120 "$E2E_TMP/setup.exe" /qb > "$E2E_TMP/code" &
launcher=$!
window=$(wait_for_window "setup.exe" 60) || { kill "$launcher"; fail "no error box appeared"; }
xdotool key --window "$window" Return
wait "$launcher"
code=$(cat "$E2E_TMP/code")
[ "$code" = 1168 ] || fail "after the box: exit code $code, expected 1168"
pass "without a quiet switch the box appears; exit code 1168"
