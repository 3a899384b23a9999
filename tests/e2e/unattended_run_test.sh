#!/usr/bin/env bash
# A setup started with a quiet switch (/q, /qn, /quiet or /passive) runs
# unattended: it never opens a window that waits for a person. Where it would
# ask for a folder or ask Retry/Cancel, it fails at once, removes what it
# wrote, starts no installer, and its exit code names the cause. Without a
# quiet switch the same failures still ask.
# - A file standing where the product folder goes: 183 (ERROR_ALREADY_EXISTS)
#   with each switch; without one the folder browser opens.
# - A full disk under the Installer folder (a small tmpfs mounted there, so
#   only as root): 112 (ERROR_DISK_FULL) with /qn; without a quiet switch the
#   Retry/Cancel prompt names the file, and Cancel ends the run with 29.
source "$(dirname "$0")/lib.sh"
use_own_prefix
use_test_installer

code='{7E5C4A99-B165-4FC2-D374-0A6E5F8B9005}'
head -c $((3 << 20)) /dev/urandom > "$E2E_TMP/noise.bin"
make_msi "Unattended Demo" "$code" 1033 demo.msi "$E2E_TMP/noise.bin"
pack_setup "$E2E_TMP/setup.exe" demo.msi
installer_dir="$DRIVE_C/windows/Installer"
folder="$installer_dir/$code"
mkdir -p "$installer_dir"

# Fails when anything on drive C: changed since the stamp was touched, apart
# from the file the test put in the product folder's place and the Installer
# folder itself (what it holds counts).
check_nothing_left() {
  local changed
  changed=$(find "$DRIVE_C" -newer "$E2E_TMP/stamp" ! -path "$folder" ! -path "$installer_dir" -print -quit)
  [ -z "$changed" ] || fail "$1: left ${changed#"$DRIVE_C"/}"
  [ ! -e "$INSTALLER_LOG" ] || fail "$1: the installer was started with: $(cat "$INSTALLER_LOG")"
}

echo blocked > "$folder"
for switch in /qn /quiet /passive; do
  touch "$E2E_TMP/stamp"
  result=$(run_with_limit 60 "$E2E_TMP/setup.exe" "$switch")
  [ "$result" = 183 ] || fail "blocked product folder with $switch: exit code $result, expected 183 and no browser"
  [ "$(cat "$folder")" = blocked ] || fail "blocked product folder with $switch: the file in its place changed"
  check_nothing_left "blocked product folder with $switch"
  pass "blocked product folder with $switch: no browser, exit code 183, nothing installed or left"
done

# Without a quiet switch the browser asks for another folder; cancelled, the
# run ends with 1223.
run_with_limit 60 "$E2E_TMP/setup.exe" > "$E2E_TMP/code" &
launcher=$!
"$WINE_RUN" "$DRIVER" --timeout 45 browser-cancel >/dev/null 2>&1 || { wait "$launcher"; fail "no folder browser"; }
wait "$launcher"
[ "$(cat "$E2E_TMP/code")" = 1223 ] || fail "browser cancelled: exit code $(cat "$E2E_TMP/code"), expected 1223"
pass "blocked product folder without a quiet switch: the browser opens, cancelled exit code 1223"
rm -f "$folder"

if [ "$(id -u)" != 0 ]; then
  echo "skipped: the full-disk cases mount a small file system and need root"
  exit 0
fi
# 1 MiB under the Installer folder: the 3 MiB cabinet cannot fit. (A write
# that fails is also injected in the progress window's unit tests.)
if ! mount -t tmpfs -o size=1m msistub-e2e-full "$installer_dir"; then
  echo "skipped: the full-disk cases could not mount a tmpfs at $installer_dir"
  exit 0
fi
# Wine lets go of the files first, or the unmount would find them busy.
trap 'stop_own_prefix; umount "$installer_dir" 2>/dev/null || umount -l "$installer_dir" || true; finish' EXIT

touch "$E2E_TMP/stamp"
result=$(run_with_limit 120 "$E2E_TMP/setup.exe" /qn)
[ "$result" = 112 ] || fail "full disk with /qn: exit code $result, expected 112 and no prompt"
[ -z "$(ls -A "$installer_dir")" ] || fail "full disk with /qn: left $(ls -AR "$installer_dir" | tr '\n' ' ')"
check_nothing_left "full disk with /qn"
pass "full disk with /qn: no prompt, exit code 112, the partial files removed"

run_with_limit 120 "$E2E_TMP/setup.exe" > "$E2E_TMP/code" &
launcher=$!
"$WINE_RUN" "$DRIVER" --timeout 90 message 2>/dev/null | tr -d '\r' > "$E2E_TMP/prompt" || true
"$WINE_RUN" "$DRIVER" press cancel >/dev/null 2>&1 || { wait "$launcher"; fail "full disk without a quiet switch: no prompt"; }
wait "$launcher"
result=$(cat "$E2E_TMP/code")
prompt=$(grep '^text: ' "$E2E_TMP/prompt" || true)
[[ "$prompt" == "text: "?*" (C:\\windows\\Installer\\$code\\demo.cab)." ]] ||
  fail "full disk without a quiet switch: the prompt showed $(cat "$E2E_TMP/prompt")"
[ "$result" = 29 ] || fail "full disk, prompt cancelled: exit code $result, expected 29"
[ -z "$(ls -A "$installer_dir")" ] || fail "full disk, prompt cancelled: left $(ls -AR "$installer_dir" | tr '\n' ' ')"
pass "full disk without a quiet switch: the prompt ${prompt#text: }, Cancel gives exit code 29"
