#!/usr/bin/env bash
# A CRYPT32.dll and an MSASN1.dll planted beside a signed setup, as anyone can
# leave them in a downloads folder, are never loaded by the launcher, which
# runs elevated: it reads its tag through the system's own crypt32 and
# installs as usual. A program that imports crypt32 at load time, started
# from the same folder, does load the planted DLL: the plant itself works.
source "$(dirname "$0")/lib.sh"
use_own_prefix
use_test_installer
# Native first for both names: Wine then takes whichever file the search
# reaches first, as Windows does for a DLL that is no KnownDLL.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;crypt32,msasn1=n,b"

code='{3B7E21C4-5D08-4F9A-A6E1-0C4D92B8F517}'
make_msi "Planted DLL Demo" "$code" 1033 demo.msi
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$E2E_TMP/signer.key" -out "$E2E_TMP/signer.crt" -days 30 \
  -subj "/CN=msistub planted dll" 2>/dev/null
"$MSISTUB_PACK" stub --stub "$MSISTUB_EXE" --key "$MSISTUB_DEV_PRIVATE_KEY" --out "$E2E_TMP/keyed.exe" >/dev/null
osslsigncode sign -certs "$E2E_TMP/signer.crt" -key "$E2E_TMP/signer.key" -in "$E2E_TMP/keyed.exe" \
  -out "$E2E_TMP/signed.exe" >/dev/null
downloads="$DRIVE_C/Downloads"
mkdir -p "$downloads"
"$MSISTUB_PACK" pack --stub "$E2E_TMP/signed.exe" --key "$MSISTUB_DEV_PRIVATE_KEY" --placement tag \
  --out "$downloads/setup.exe" "$E2E_TMP/msi/demo.msi" >/dev/null
cp "$MSISTUB_BUILD/tools/planted/CRYPT32.dll" "$MSISTUB_BUILD/tools/planted/MSASN1.dll" "$downloads/"
ls -a "$downloads" >/dev/null  # settles access times, see use_own_prefix

result=$(run_with_limit 60 'C:\Downloads\setup.exe' /qn)
for dll in CRYPT32 MSASN1; do
  [ ! -e "$downloads/$dll.dll.loaded" ] || fail "the launcher loaded the planted $dll.dll"
done
[ "$result" = 0 ] || fail "exit code $result, expected 0"
cmp -s "$DRIVE_C/windows/Installer/$code/main.msi" "$E2E_TMP/msi/demo.msi" || fail "the tagged package was not extracted"
grep -qF "main.msi" "$INSTALLER_LOG" || fail "the installer was not started"
pass "the signed setup installed its tagged package; neither planted DLL was loaded"

cp "$MSISTUB_BUILD/tools/imports_crypt32.exe" "$downloads/"
run_with_limit 60 'C:\Downloads\imports_crypt32.exe' >/dev/null
[ -e "$downloads/CRYPT32.dll.loaded" ] || fail "a program importing crypt32 did not load the planted CRYPT32.dll"
pass "a program importing crypt32 at load time loads the planted CRYPT32.dll"
