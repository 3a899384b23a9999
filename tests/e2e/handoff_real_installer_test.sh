#!/usr/bin/env bash
# The whole chain with Wine's own Windows Installer: the packed setup, run
# with no arguments, installs the product, which registers itself; the
# extracted package and cabinet stay in the product folder under
# C:\windows\Installer; the launcher shows nothing and exits with 0.
# The product carries a file of random bytes, so its cabinet cannot be
# compressed and the launcher makes it in place inside its own image.
source "$(dirname "$0")/lib.sh"
use_own_prefix

code='{3A1E0C55-7D21-4B8E-9F30-6C2A1B4D5E01}'
head -c 3000000 /dev/urandom > "$E2E_TMP/noise.bin"
make_msi "Handoff Demo" "$code" 1033 demo.msi "$E2E_TMP/noise.bin"
pack_setup "$E2E_TMP/setup.exe" demo.msi
"$MSISTUB_PACK" list "$E2E_TMP/setup.exe" | grep -Eq "id 1001 +data 30[0-9]{5} bytes" ||
  fail "the cabinet was not stored in blocks: $("$MSISTUB_PACK" list "$E2E_TMP/setup.exe")"

# A box would keep the launcher waiting until the limit.
result=$(run_with_limit 120 "$E2E_TMP/setup.exe")
[ "$result" = 0 ] || fail "exit code $result, expected 0 and no box"
pass "installed with exit code 0, no box"

installed="$DRIVE_C/Program Files/Handoff Demo/readme.txt"
[ -f "$installed" ] || fail "the product's file is not installed"
grep -q "Installed by Handoff Demo" "$installed" || fail "the installed file has the wrong content"
cmp -s "$DRIVE_C/Program Files/Handoff Demo/noise.bin" "$E2E_TMP/noise.bin" ||
  fail "the file of random bytes is not installed as it was packed"
pass "the product's files are installed"

uninstall=$(uninstall_string "$code") || fail "no UninstallString under the product's Uninstall key"
[ -n "$uninstall" ] || fail "the UninstallString is empty"
pass "the Uninstall key holds an UninstallString ($uninstall)"

folder="$DRIVE_C/windows/Installer/$code"
cmp -s "$folder/main.msi" "$E2E_TMP/msi/demo.msi" || fail "main.msi is not kept as extracted"
cmp -s "$folder/demo.cab" "$E2E_TMP/msi/demo.cab" || fail "the cabinet is not kept as extracted"
pass "the extracted package and cabinet stay in C:\\windows\\Installer\\$code"
