#!/usr/bin/env bash
# While the installer runs, nobody can change, delete or rename the package
# the launcher verified and extracted, whatever folder it stands in; reading
# it stays possible. Afterwards the files are released: a failed installation
# still deletes them.
source "$(dirname "$0")/lib.sh"
use_own_prefix
use_test_installer
make_msi "Locked Demo" '{5C3E2A77-9F43-4DA0-B152-8E4C3D6F7A13}' 1033 demo.msi
pack_setup "$E2E_TMP/setup.exe" demo.msi
folder="$DRIVE_C/windows/Installer/{5C3E2A77-9F43-4DA0-B152-8E4C3D6F7A13}"

for exit_code in 0 1602; do
  rm -f "$DRIVE_C/tamper.log"
  result=$(MSISTUB_TEST_INSTALLER_TAMPER='C:\tamper.log' MSISTUB_TEST_INSTALLER_EXIT=$exit_code \
    run_with_limit 60 "$E2E_TMP/setup.exe")
  [ "$result" = "$exit_code" ] || fail "exit code $result, expected $exit_code"
  report=$(tr -d '\r' < "$DRIVE_C/tamper.log" | tr '\n' ' ')
  [ "$report" = "write denied delete denied rename denied read allowed " ] ||
    fail "while the installer ran: $report"
  if [ "$exit_code" = 0 ]; then
    cmp -s "$folder/main.msi" "$E2E_TMP/msi/demo.msi" || fail "the package changed"
    [ ! -e "$folder/main.msi.moved" ] || fail "the package was renamed"
  else
    [ ! -e "$folder" ] || fail "after a failed installation the files stayed: $(ls -A "$folder")"
  fi
  pass "installer exit $exit_code: $report"
  rm -rf "$folder"
done
