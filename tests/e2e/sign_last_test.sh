#!/usr/bin/env bash
# Pack, then sign last, as release pipelines do: a setup packed at the end of
# the unsigned launcher and signed afterwards with osslsigncode verifies with
# osslsigncode and installs with Wine's own Windows Installer; re-signed with
# a second certificate it still does. One byte of the payload changed after
# signing breaks the Authenticode signature, and the launcher refuses the
# setup with its box and exit code 13, installing nothing.
# SIGN_LAST_PAYLOAD_MB sets the size of the product's file of random bytes
# (3 by default; the slow test runs it with 150).
source "$(dirname "$0")/lib.sh"

payload_mb="${SIGN_LAST_PAYLOAD_MB:-3}"
code='{0C5B9A1E-2D4F-4E6A-8B7C-9D0E1F2A3B4C}'
BAD_PACKAGE_TEXT="The installation file is either corrupted or does not support your processor architecture."
head -c $((payload_mb << 20)) /dev/urandom > "$E2E_TMP/noise.bin"
make_msi "Sign Last Demo" "$code" 1033 demo.msi "$E2E_TMP/noise.bin"
pack_setup "$E2E_TMP/setup.exe" demo.msi -- --placement end
[ $(($(stat -c %s "$E2E_TMP/setup.exe") % 8)) = 0 ] || fail "the packed setup's length is no multiple of 8"

for signer in first second; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_TMP/$signer.key" -out "$E2E_TMP/$signer.crt" -days 30 \
    -subj "/CN=msistub sign-last $signer signer" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
done
sign() {  # sign SIGNER IN OUT
  osslsigncode sign -certs "$E2E_TMP/$1.crt" -key "$E2E_TMP/$1.key" -n "Sign Last Demo" \
    -in "$2" -out "$3" >/dev/null || fail "osslsigncode could not sign $2 with the $1 certificate"
}
authenticode_verifies() {  # authenticode_verifies SIGNER FILE
  osslsigncode verify -CAfile "$E2E_TMP/$1.crt" -in "$2" >"$E2E_TMP/verify.log" 2>&1
}

# installs SETUP: in a fresh prefix, the setup installs the product with exit
# code 0 and no box, and the product's files are those packed.
installs() {
  use_own_prefix
  local result
  result=$(run_with_limit 600 "$1")
  [ "$result" = 0 ] || fail "$(basename "$1"): exit code $result, expected 0 and no box"
  cmp -s "$DRIVE_C/Program Files/Sign Last Demo/noise.bin" "$E2E_TMP/noise.bin" ||
    fail "$(basename "$1"): the product's file is not installed as it was packed"
}

sign first "$E2E_TMP/setup.exe" "$E2E_TMP/signed.exe"
authenticode_verifies first "$E2E_TMP/signed.exe" || fail "osslsigncode verify fails: $(cat "$E2E_TMP/verify.log")"
"$MSISTUB_PACK" verify "$E2E_TMP/signed.exe" | grep -q "in front of the certificate table" ||
  fail "msistub-pack does not find the container in front of the certificate table"
installs "$E2E_TMP/signed.exe"
pass "signed after packing (${payload_mb} MiB payload): the signature verifies and the setup installs"

sign second "$E2E_TMP/signed.exe" "$E2E_TMP/resigned.exe"
authenticode_verifies second "$E2E_TMP/resigned.exe" || fail "osslsigncode verify fails: $(cat "$E2E_TMP/verify.log")"
installs "$E2E_TMP/resigned.exe"
pass "re-signed with a second certificate: the signature verifies and the setup installs"

# The cabinet is the last entry: its data end one signature (256 bytes) and
# one trailer (28 bytes) in front of the certificate table.
cp "$E2E_TMP/resigned.exe" "$E2E_TMP/changed.exe"
pe=$(od -An -tu4 -j60 -N4 "$E2E_TMP/changed.exe" | tr -d ' ')
table=$(od -An -tu4 -j$((pe + 168)) -N4 "$E2E_TMP/changed.exe" | tr -d ' ')
at=$((table - 28 - 256 - 1000))
byte=$(od -An -tu1 -j$at -N1 "$E2E_TMP/changed.exe" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of="$E2E_TMP/changed.exe" bs=1 seek=$at conv=notrunc status=none
if authenticode_verifies second "$E2E_TMP/changed.exe"; then fail "osslsigncode verify passes a changed payload"; fi
use_own_prefix
touch "$E2E_TMP/stamp"
sleep 1
result=$(run_with_box 120 "$E2E_TMP/changed.exe") || fail "the launcher showed no box for a changed payload"
# A payload that does not verify ends as one whose data are bad: 13.
[ "$result" = 13 ] || fail "a changed payload: exit code $result, expected 13 (ERROR_INVALID_DATA)"
grep -qF "$BAD_PACKAGE_TEXT" "$E2E_TMP/box" || fail "a changed payload: the box says: $(cat "$E2E_TMP/box")"
[ ! -e "$DRIVE_C/Program Files/Sign Last Demo" ] || fail "a changed payload: the product got installed"
[ -z "$(find "$DRIVE_C/windows/Installer" -newer "$E2E_TMP/stamp" -print -quit 2>/dev/null)" ] ||
  fail "a changed payload: the launcher left files under C:\\windows\\Installer"
pass "one payload byte changed after signing: osslsigncode verify fails, the launcher shows its box, exits with 13 and installs nothing"
