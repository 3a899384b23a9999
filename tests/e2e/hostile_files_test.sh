#!/usr/bin/env bash
# Damaged and hostile setup files through the real launcher: truncated at
# every trailer boundary, trailers whose lengths reach in front of the file,
# a zlib bomb, manifests with impossible record lengths, entries changed after
# signing, tag certificates whose value is huge or claims to be, and setups
# signed last with another product's chain added to their signature. Each must
# end with its own exit code, without a crash, a hang, an installer started
# or a file written; without a quiet switch it shows the box with string 101.
# The files come from msistub-hostile-files (tests/hostile), which the native
# build puts beside msistub-pack.
source "$(dirname "$0")/lib.sh"

HOSTILE_FILES="${MSISTUB_HOSTILE_FILES:-$(dirname "${MSISTUB_PACK:?}")/msistub-hostile-files}"
[ -x "$HOSTILE_FILES" ] || fail "no $HOSTILE_FILES: build the native tree that MSISTUB_PACK_TOOL points into"
BAD_PACKAGE_TEXT="The installation file is either corrupted or does not support your processor architecture."
PRODUCT_CODE='{5A0C9E3B-8F21-4D6A-B7C4-2E9F1D3A6B80}'
OTHER_PRODUCT_CODE='{7D2B4F6A-1C3E-4A5B-9D8F-0E1A2B3C4D5E}'

use_own_prefix
use_test_installer

# The good setup every hostile file is made from: a real MSI with its
# cabinet, packed at the end of the launcher; and the launcher, given the key,
# signed with a throwaway certificate for the placements inside the
# signature; and the good setup signed after packing, for the chain in front
# of the certificate table; and a setup of another product, whose chain is
# added to the signed one.
make_msi "msistub hostile base" "$PRODUCT_CODE" 1033 base.msi
pack_setup "$E2E_TMP/base.exe" base.msi
make_msi "msistub hostile other" "$OTHER_PRODUCT_CODE" 1033 other.msi
pack_setup "$E2E_TMP/other.exe" other.msi
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_TMP/signer.key" -out "$E2E_TMP/signer.crt" -days 30 \
  -subj "/CN=msistub hostile files" 2>/dev/null
"$MSISTUB_PACK" stub --stub "$MSISTUB_EXE" --key "${MSISTUB_DEV_PRIVATE_KEY:?}" --out "$E2E_TMP/keyed.exe" >/dev/null
osslsigncode sign -certs "$E2E_TMP/signer.crt" -key "$E2E_TMP/signer.key" -in "$E2E_TMP/keyed.exe" \
  -out "$E2E_TMP/signed.exe" >/dev/null
osslsigncode sign -certs "$E2E_TMP/signer.crt" -key "$E2E_TMP/signer.key" -in "$E2E_TMP/base.exe" \
  -out "$E2E_TMP/signed-last.exe" >/dev/null
"$HOSTILE_FILES" --setup "$E2E_TMP/base.exe" --signed-stub "$E2E_TMP/signed.exe" --signed-setup "$E2E_TMP/signed-last.exe" \
  --other-setup "$E2E_TMP/other.exe" --key "${MSISTUB_DEV_PRIVATE_KEY:?}" --out "$E2E_TMP/hostile"

INSTALLER_DIR="$DRIVE_C/windows/Installer"
installer_runs() { [ -f "$INSTALLER_LOG" ] && wc -l < "$INSTALLER_LOG" || echo 0; }
# Fails when anything on drive C: changed since the stamp was touched: a new
# folder under C:\windows\Installer or any other file the launcher wrote.
check_nothing_written() {
  local changed
  changed=$(find "$DRIVE_C" -newer "$E2E_TMP/stamp" -print -quit)
  [ -z "$changed" ] || fail "$1: wrote ${changed#"$DRIVE_C"/}"
}

# EXPECTED is an exit code, or "decoder": the system's signature decoder
# refused the file, and the launcher passed on its CRYPT_E_ASN1_* error (or
# E_INVALIDARG when the decoder left none).
exit_code_fits() {
  local code="$1" expected="$2"
  if [ "$expected" = decoder ]; then
    [[ "$code" =~ ^[0-9]+$ ]] || return 1
    { [ "$code" -ge $((0x80093100)) ] && [ "$code" -le $((0x800931FF)) ]; } || [ "$code" = $((0x80070057)) ]
  else
    [ "$code" = "$expected" ]
  fi
}

# Another product's chain added to a setup signed last leaves its
# Authenticode signature valid: only the launcher's choice keeps it out.
for name in control-signed-last-plus-appended control-signed-last-plus-tag control-signed-last-plus-both; do
  osslsigncode verify -CAfile "$E2E_TMP/signer.crt" -in "$E2E_TMP/hostile/$name.exe" >"$E2E_TMP/verify.log" 2>&1 ||
    fail "$name: osslsigncode verify fails: $(cat "$E2E_TMP/verify.log")"
  listed=$("$MSISTUB_PACK" list "$E2E_TMP/hostile/$name.exe")
  grep -q "^blob 1: in front of the certificate table" <<< "$listed" && ! grep -q "^blob 2" <<< "$listed" ||
    fail "$name: msistub-pack list does not show the signed chain alone: $listed"
done
pass "another product's chain appended or added as a tag keeps the signature valid; msistub-pack lists only the signed chain"

# The controls come first: the same chains, undamaged, install, and it is
# the base product that installs, never the other one added beside it. They
# prove that each failure below comes from the damage and not from the
# placement.
while read -r name expected what; do
  [ "$expected" = 0 ] || continue
  runs=$(installer_runs)
  code=$(run_with_limit 120 "$E2E_TMP/hostile/$name.exe" /qn)
  [ "$code" = 0 ] || fail "control $name ($what): exit code $code, expected 0"
  [ "$(installer_runs)" -gt "$runs" ] || fail "control $name: the installer was not started"
  tail -n 1 "$INSTALLER_LOG" | grep -qF "$PRODUCT_CODE" ||
    fail "control $name: the installer was given another package: $(tail -n 1 "$INSTALLER_LOG")"
  rm -rf "$INSTALLER_DIR/$PRODUCT_CODE"
  pass "control $name installs"
done < "$E2E_TMP/hostile/cases.txt"

# Each case ends within a second or two, except the package bomb, which
# inflates 4 GiB before it can fail (seconds, more on a busy machine); the
# time limit only catches a hang. The time taken is printed, not judged.
runs_before=$(installer_runs)
while read -r name expected what; do
  [ "$expected" != 0 ] || continue
  touch "$E2E_TMP/stamp"
  started=$(date +%s%N)
  code=$(run_with_limit 300 "$E2E_TMP/hostile/$name.exe" /qn)
  tenths=$((($(date +%s%N) - started) / 100000000))
  exit_code_fits "$code" "$expected" || fail "$name ($what): exit code $code, expected $expected"
  check_nothing_written "$name"
  [ "$(installer_runs)" = "$runs_before" ] || fail "$name: the installer was started"
  pass "$name: exit code $code after $((tenths / 10)).$((tenths % 10)) s ($what)"
done < "$E2E_TMP/hostile/cases.txt"

# The bombs fail in the memory of an ordinary run: their peak working set is
# held to that of the good setup installing, plus a few MiB for the slack of
# sampling, and nowhere near the 16 MiB of a capped manifest or the gigabytes
# of the stream.
PEAK_MEMORY="$MSISTUB_BUILD/tools/peak-memory.exe"
peak_of() { timeout 300 "$WINE_RUN" "$PEAK_MEMORY" "$@" 2>/dev/null | tr -d '\r' | tail -n 1; }
read -r control_peak control_code _ <<< "$(peak_of "$E2E_TMP/hostile/control-end.exe" /qn)"
[ "$control_code" = 0 ] || fail "control-end under the memory probe: exit code $control_code"
rm -rf "$INSTALLER_DIR/$PRODUCT_CODE"
for name in manifest-zlib-bomb payload-zlib-bomb; do
  read -r peak code seconds <<< "$(peak_of "$E2E_TMP/hostile/$name.exe" /qn)"
  [ "$code" = 13 ] || fail "$name under the memory probe: exit code $code, expected 13"
  [ "$peak" -le $((control_peak + 4 * 1048576)) ] ||
    fail "$name: peak memory $((peak / 1048576)) MiB, an ordinary run's is $((control_peak / 1048576)) MiB"
  pass "$name: peak memory $((peak / 1048576)) MiB (an ordinary run: $((control_peak / 1048576)) MiB), $seconds s"
done

# Without a quiet switch the same failures show the box with string 101: one
# found while reading the container, one in the package selection.
for name in cut-before-trailer-of-manifest record-length-ffffffff; do
  expected=$(awk -v n="$name" '$1 == n { print $2 }' "$E2E_TMP/hostile/cases.txt")
  touch "$E2E_TMP/stamp"
  code=$(run_with_box 120 "$E2E_TMP/hostile/$name.exe") || fail "$name: no error box appeared"
  [ "$code" = "$expected" ] || fail "$name with a box: exit code $code, expected $expected"
  grep -qxF "caption: $name.exe" "$E2E_TMP/box" || fail "$name: box caption: $(cat "$E2E_TMP/box")"
  grep -qxF "text: $BAD_PACKAGE_TEXT" "$E2E_TMP/box" || fail "$name: box text: $(cat "$E2E_TMP/box")"
  check_nothing_written "$name with a box"
  pass "$name without /qn: box 101, exit code $code"
done
