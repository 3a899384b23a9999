#!/usr/bin/env bash
# The command line the installer receives, as a test installer in place of
# msiexec.exe records it: the installer's path, /i and the package path,
# quoted when it holds a space, then the launcher's own arguments, each
# quoted when it holds a space, an empty one leaving only its separating
# space, and "/qn" passed on.
source "$(dirname "$0")/lib.sh"
use_own_prefix
use_test_installer

code='{5C3A2E77-9F43-4DA0-B152-8E4C3D6F7003}'
make_msi "Command Line Demo" "$code" 1033 demo.msi
pack_setup "$E2E_TMP/setup.exe" demo.msi
installer='C:\windows\system32\msiexec.exe'

# Wine hands the launcher "PROP=a b" in quotes and the empty argument as "".
result=$(run_with_limit 60 "$E2E_TMP/setup.exe" PROP=x 'PROP=a b' '' /qn)
[ "$result" = 0 ] || fail "exit code $result, expected 0"
expected="$installer /i C:\\windows\\Installer\\$code\\main.msi PROP=x \"PROP=a b\"  /qn"
[ "$(cat "$INSTALLER_LOG")" = "$expected" ] ||
  fail "the installer received: $(cat "$INSTALLER_LOG")"$'\n'"expected: $expected"
pass "package path without a space, arguments passed on: $expected"

# A file where the product folder belongs makes the launcher ask for a folder;
# the one chosen holds a space, so the package path arrives in quotes.
rm -rf "$DRIVE_C/windows/Installer/$code" "$INSTALLER_LOG"
echo blocked > "$DRIVE_C/windows/Installer/$code"
mkdir "$DRIVE_C/Setup Files"
ls -a "$DRIVE_C" "$DRIVE_C/Setup Files" >/dev/null  # settles access times, see use_own_prefix
run_with_limit 60 "$E2E_TMP/setup.exe" > "$E2E_TMP/code" &
launcher=$!
# The browser fills its tree a while after it shows; it is ready once the
# start folder, Documents, is selected.
for _ in $(seq 1 60); do
  "$WINE_RUN" "$DRIVER" browser 2>/dev/null | grep -q 'Documents' && break
  sleep 0.5
done
"$WINE_RUN" "$DRIVER" browser-choose 'C:\Setup Files' >/dev/null 2>&1 || { wait "$launcher"; fail "no folder browser"; }
wait "$launcher"
result=$(cat "$E2E_TMP/code")
[ "$result" = 0 ] || fail "after choosing a folder: exit code $result, expected 0"
expected="$installer /i \"C:\\Setup Files\\$code\\main.msi\""
[ "$(cat "$INSTALLER_LOG")" = "$expected" ] ||
  fail "the installer received: $(cat "$INSTALLER_LOG")"$'\n'"expected: $expected"
cmp -s "$DRIVE_C/Setup Files/$code/main.msi" "$E2E_TMP/msi/demo.msi" || fail "main.msi is not in the chosen folder"
pass "package path with a space, quoted: $expected"
