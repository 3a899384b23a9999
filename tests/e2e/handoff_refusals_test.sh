#!/usr/bin/env bash
# The two hand-off failures that the user is told about in a box, and the
# quiet switches that silence it while the exit code stays:
# - msiexec.exe missing from the system directory: the box with string 100,
#   exit code 1155, nothing extracted; an msiexec.exe beside the launcher is
#   never run;
# - an installer command line longer than 1023 characters: refused rather
#   than cut, with the system text for 1639 and the status context, and the
#   extracted files removed again.
source "$(dirname "$0")/lib.sh"
use_own_prefix
use_test_installer

code='{6D4B3F88-A054-4EB1-C263-9F5D4E7A8004}'
make_msi "Refusal Demo" "$code" 1033 demo.msi
pack_setup "$E2E_TMP/setup.exe" demo.msi
folder="$DRIVE_C/windows/Installer/$code"

# The command line is too long for the installer whatever its path.
long_argument="PROP=$(printf 'x%.0s' $(seq 1 1000))"
result=$(run_with_box 60 "$E2E_TMP/setup.exe" "$long_argument") || fail "too long a command line: no box"
[ "$result" = 1639 ] || fail "too long a command line: exit code $result, expected 1639"
grep -q '^caption: setup.exe$' "$E2E_TMP/box" || fail "wrong caption: $(cat "$E2E_TMP/box")"
grep -q '^text: .* (1, 1639, 2358)\.$' "$E2E_TMP/box" || fail "wrong text: $(cat "$E2E_TMP/box")"
[ ! -e "$INSTALLER_LOG" ] || fail "the installer was started with: $(cat "$INSTALLER_LOG")"
[ ! -e "$folder" ] || fail "the extracted files were left in $folder"
pass "too long a command line: refused with $(grep '^text: ' "$E2E_TMP/box"), exit code 1639"

result=$(run_with_limit 60 "$E2E_TMP/setup.exe" "$long_argument" /q)
[ "$result" = 1639 ] || fail "too long a command line with /q: exit code $result, expected 1639 and no box"
pass "too long a command line with /q: no box, exit code 1639"

rm "$DRIVE_C/windows/system32/msiexec.exe"
cp "$MSISTUB_BUILD/tools/test-msiexec.exe" "$E2E_TMP/msiexec.exe"
string_100="Windows Installer is required for this installation package. The Microsoft® Windows® Installer (MSI) is the application installation and configuration service for Windows. To continue this installation, start it again when Windows Installer is installed on your computer."
result=$(run_with_box 60 "$E2E_TMP/setup.exe") || fail "msiexec.exe missing: no box"
[ "$result" = 1155 ] || fail "msiexec.exe missing: exit code $result, expected 1155"
[ "$(grep '^text: ' "$E2E_TMP/box")" = "text: $string_100" ] || fail "wrong text: $(cat "$E2E_TMP/box")"
[ ! -e "$INSTALLER_LOG" ] || fail "the msiexec.exe beside the launcher was started"
[ ! -e "$folder" ] || fail "files were extracted although no installer was found"
pass "msiexec.exe missing: the box shows string 100, exit code 1155, the one beside the launcher is not run"

result=$(run_with_limit 60 "$E2E_TMP/setup.exe" /QUIET)
[ "$result" = 1155 ] || fail "msiexec.exe missing with /QUIET: exit code $result, expected 1155 and no box"
pass "msiexec.exe missing with /QUIET: no box, exit code 1155"
