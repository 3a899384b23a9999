#!/usr/bin/env bash
# What the launcher leaves behind, by the installer's exit code and whether
# the product is registered afterwards. A test installer stands in for
# msiexec.exe; each row uses a product code of its own, so the rows share the
# prefix without seeing each other's registration. The launcher exits with
# the installer's code and shows no box (a box would hold it until the limit).
source "$(dirname "$0")/lib.sh"
use_own_prefix
use_test_installer
make_msi "Cleanup Demo" '{4B2F1D66-8E32-4C9F-A041-7D3B2C5E6F02}' 1033 demo.msi

# exit code | registered: no, before (the run), by (the installer) | files: kept or deleted
rows=(
  "1602 no     deleted"
  "3010 no     deleted"
  "3010 by     kept"
  "1602 before kept"
  "0    no     kept"
)

for i in "${!rows[@]}"; do
  read -r exit_code registered files <<< "${rows[$i]}"
  row="exit $exit_code, registered $registered"
  code=$(printf '{4B2F1D66-8E32-4C9F-A041-%012d}' "$i")
  pack_setup "$E2E_TMP/setup-$i.exe" demo.msi -- --product-code "$code"
  [ "$registered" = before ] && register_product "$code"
  registers=""
  [ "$registered" = by ] && registers="$code"

  rm -f "$INSTALLER_LOG"
  result=$(MSISTUB_TEST_INSTALLER_EXIT=$exit_code MSISTUB_TEST_INSTALLER_REGISTERS=$registers \
    run_with_limit 60 "$E2E_TMP/setup-$i.exe")
  [ "$result" = "$exit_code" ] || fail "$row: exit code $result, expected $exit_code and no box"
  [ "$(wc -l < "$INSTALLER_LOG")" = 1 ] || fail "$row: the installer did not run exactly once"

  folder="$DRIVE_C/windows/Installer/$code"
  if [ "$files" = kept ]; then
    cmp -s "$folder/main.msi" "$E2E_TMP/msi/demo.msi" || fail "$row: main.msi was not kept"
    cmp -s "$folder/demo.cab" "$E2E_TMP/msi/demo.cab" || fail "$row: the cabinet was not kept"
  else
    [ ! -e "$folder" ] || fail "$row: $(ls -A "$folder" | tr '\n' ' ')left in a folder that should be removed"
  fi
  pass "$row: exit code $exit_code, files $files"
done
