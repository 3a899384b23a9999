#!/usr/bin/env bash
# Names that the ANSI code page (1252 on this English system) does not hold,
# with the real launcher:
# - started as C:\dl\ｓetup.exe (a full-width s) beside a setup.exe of
#   another product, it installs its own product, not the neighbour's: its
#   best-fit ANSI name would be the neighbour's;
# - started from C:\Łukasz 日本\, it installs;
# - a folder chosen in the browser and arguments with such characters reach
#   the folder and the installer exactly (a test installer records its UTF-16
#   command line).
source "$(dirname "$0")/lib.sh"
export LC_ALL=en_US.UTF-8
use_own_prefix

own='{7B1C0D21-5E3F-4A60-9B82-1C2D3E4F5A61}'
decoy='{7B1C0D21-5E3F-4A60-9B82-1C2D3E4F5A62}'
folder_product='{7B1C0D21-5E3F-4A60-9B82-1C2D3E4F5A63}'
make_msi "Own Product" "$own" 1033 own.msi
make_msi "Decoy Product" "$decoy" 1033 decoy.msi
make_msi "Folder Product" "$folder_product" 1033 folder.msi
pack_setup "$E2E_TMP/own.exe" own.msi
pack_setup "$E2E_TMP/decoy.exe" decoy.msi
pack_setup "$E2E_TMP/folder.exe" folder.msi

mkdir -p "$DRIVE_C/dl"
cp "$E2E_TMP/decoy.exe" "$DRIVE_C/dl/setup.exe"
cp "$E2E_TMP/own.exe" "$DRIVE_C/dl/ｓetup.exe"
result=$(run_with_limit 120 'C:\dl\ｓetup.exe')
[ "$result" = 0 ] || fail "started as C:\\dl\\ｓetup.exe: exit code $result, expected 0 and no box"
uninstall_string "$own" >/dev/null || fail "started as C:\\dl\\ｓetup.exe: its own product is not installed"
! uninstall_string "$decoy" >/dev/null || fail "started as C:\\dl\\ｓetup.exe: the neighbour's product was installed"
[ -f "$DRIVE_C/Program Files/Own Product/readme.txt" ] || fail "the own product's file is not installed"
pass "started as C:\\dl\\ｓetup.exe beside setup.exe: its own product installed, not the neighbour's"

mkdir -p "$DRIVE_C/Łukasz 日本"
cp "$E2E_TMP/folder.exe" "$DRIVE_C/Łukasz 日本/setup.exe"
result=$(run_with_limit 120 'C:\Łukasz 日本\setup.exe')
[ "$result" = 0 ] || fail "started from C:\\Łukasz 日本: exit code $result, expected 0 and no box"
uninstall_string "$folder_product" >/dev/null || fail "started from C:\\Łukasz 日本: the product is not installed"
[ -f "$DRIVE_C/Program Files/Folder Product/readme.txt" ] || fail "the product's file is not installed"
pass "started from C:\\Łukasz 日本\\: installed"

# A file where the product folder belongs makes the launcher ask for a folder.
use_test_installer
code='{7B1C0D21-5E3F-4A60-9B82-1C2D3E4F5A64}'
make_msi "Browse Product" "$code" 1033 browse.msi
pack_setup "$E2E_TMP/browse.exe" browse.msi
echo blocked > "$DRIVE_C/windows/Installer/$code"
chosen='Zażółć 選択'
mkdir "$DRIVE_C/$chosen"
ls -a "$DRIVE_C" "$DRIVE_C/$chosen" >/dev/null  # settles access times, see use_own_prefix
run_with_limit 60 "$E2E_TMP/browse.exe" 'PROP=a＂ /x' 'NAME=Łukasz😀' /norestart > "$E2E_TMP/code" &
launcher=$!
for _ in $(seq 1 60); do
  "$WINE_RUN" "$DRIVER" browser 2>/dev/null | grep -q 'Documents' && break
  sleep 0.5
done
"$WINE_RUN" "$DRIVER" browser-choose "C:\\$chosen" >/dev/null 2>&1 || { wait "$launcher"; fail "no folder browser"; }
wait "$launcher"
result=$(cat "$E2E_TMP/code")
[ "$result" = 0 ] || fail "after choosing C:\\$chosen: exit code $result, expected 0"
cmp -s "$DRIVE_C/$chosen/$code/main.msi" "$E2E_TMP/msi/browse.msi" || fail "main.msi is not in C:\\$chosen\\$code"
expected="C:\\windows\\system32\\msiexec.exe /i \"C:\\$chosen\\$code\\main.msi\" \"PROP=a＂ /x\" NAME=Łukasz😀 /norestart"
[ "$(cat "$INSTALLER_LOG")" = "$expected" ] ||
  fail "the installer received: $(cat "$INSTALLER_LOG")"$'\n'"expected: $expected"
pass "the chosen folder and the arguments arrive exactly: $expected"
