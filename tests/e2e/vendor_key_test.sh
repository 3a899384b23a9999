#!/usr/bin/env bash
# The launcher checks entries with the key in its own resource, which the
# packer writes into the plain stub: a setup packed with a key made by
# keygen installs; the same setup with one byte of that key resource changed
# refuses to install (the key no longer matches the entries' signatures);
# one whose key resource is missing or not laid out as a key shows the
# key-not-loaded box. The project's stub carries no key of its own.
source "$(dirname "$0")/lib.sh"
use_own_prefix

BAD_PACKAGE_TEXT="The installation file is either corrupted or does not support your processor architecture."
code='{5B3C1D2E-8F40-4A61-9B72-C3D4E5F60718}'
make_msi "Vendor Key Demo" "$code" 1033 demo.msi
"$MSISTUB_PACK" keygen --out-private "$E2E_TMP/vendor-private.pem" --out-public "$E2E_TMP/vendor-public.pem" >/dev/null
python3 - "$MSISTUB_EXE" <<'PY' && fail "the project's stub carries a verification key of its own"
import sys
sys.exit(0 if "MSISTUB_VERIFICATION_KEY".encode("utf-16-le") in open(sys.argv[1], "rb").read() else 1)
PY
"$MSISTUB_PACK" pack --stub "$MSISTUB_EXE" --key "$E2E_TMP/vendor-private.pem" --out "$E2E_TMP/setup.exe" \
  "$E2E_TMP/msi/demo.msi" >/dev/null
"$MSISTUB_PACK" verify --public-key "$E2E_TMP/vendor-public.pem" "$E2E_TMP/setup.exe" >/dev/null ||
  fail "the setup does not carry the vendor's key"

openssl rsa -pubin -in "$E2E_TMP/vendor-public.pem" -outform MSBLOB -out "$E2E_TMP/vendor-key.blob" 2>/dev/null

# Changes the setup's key resource: "modulus" flips one byte of the key's
# modulus, "magic" one byte of its "RSA1" magic, "name" renames the
# resource so the launcher finds none.
change_key() {
  python3 - "$E2E_TMP/setup.exe" "$E2E_TMP/$1.exe" "$1" "$E2E_TMP/vendor-key.blob" <<'PY'
import sys
source, target, how, blob = sys.argv[1:]
data = bytearray(open(source, "rb").read())
if how == "name":
    name = "MSISTUB_VERIFICATION_KEY".encode("utf-16-le")
    at = data.index(name)
    data[at + len(name) - 2] = ord("Z")
else:
    at = data.index(open(blob, "rb").read())
    data[at + (9 if how == "magic" else 100)] ^= 0x01
open(target, "wb").write(data)
PY
}

for how in modulus magic name; do
  change_key "$how"
  # The launcher's image is what the Authenticode signature covers; the
  # container itself is untouched.
  cmp -s <(tail -c 4096 "$E2E_TMP/setup.exe") <(tail -c 4096 "$E2E_TMP/$how.exe") || fail "$how: the container changed"
done

touch "$E2E_TMP/stamp"
sleep 1
for case in "modulus 1392" "magic 2148073475" "name 2148073475"; do
  read -r how expected <<< "$case"
  result=$(run_with_box 120 "$E2E_TMP/$how.exe") || fail "$how: no box"
  [ "$result" = "$expected" ] || fail "$how: exit code $result, expected $expected"
  grep -qxF "text: $BAD_PACKAGE_TEXT" "$E2E_TMP/box" || fail "$how: the box says: $(cat "$E2E_TMP/box")"
  [ ! -e "$DRIVE_C/Program Files/Vendor Key Demo" ] || fail "$how: the product got installed"
  [ -z "$(find "$DRIVE_C/windows/Installer" -newer "$E2E_TMP/stamp" -print -quit 2>/dev/null)" ] ||
    fail "$how: the launcher left files under C:\\windows\\Installer"
  pass "key resource changed ($how): box 101, exit code $result, nothing installed"
done

result=$(run_with_limit 120 "$E2E_TMP/setup.exe")
[ "$result" = 0 ] || fail "the setup with the vendor's key: exit code $result, expected 0 and no box"
grep -q "Installed by Vendor Key Demo" "$DRIVE_C/Program Files/Vendor Key Demo/readme.txt" ||
  fail "the product's file is not installed"
pass "a setup packed with a new key into the plain stub installs"
