#!/usr/bin/env bash
# The packing tool built for Windows reads the MSI with msi.dll and makes the
# same setup, byte for byte, as the Linux build that reads it with libmsi;
# its verify accepts the result.
source "$(dirname "$0")/lib.sh"
use_own_prefix
make_msi "Pack Demo" '{7E4A3B88-1C54-4EB1-9263-9F5D4E8A0B24}' 1033 demo.msi
tool="$MSISTUB_BUILD/tools/pack/msistub-pack.exe"
[ -f "$tool" ] || fail "no Windows build of the packing tool at $tool"

"$MSISTUB_PACK" pack --stub "$MSISTUB_EXE" --key "$MSISTUB_DEV_PRIVATE_KEY" --out "$E2E_TMP/linux.exe" \
  "$E2E_TMP/msi/demo.msi" >/dev/null
cp "$MSISTUB_EXE" "$E2E_TMP/msi/stub.exe"
cp "$MSISTUB_DEV_PRIVATE_KEY" "$E2E_TMP/msi/key.pem"
(cd "$E2E_TMP/msi" && "$WINE_RUN" "$tool" pack --stub stub.exe --key key.pem --out windows.exe demo.msi >/dev/null 2>&1) ||
  fail "the Windows packing tool failed"
cmp "$E2E_TMP/linux.exe" "$E2E_TMP/msi/windows.exe" || fail "the two builds made different setups"
(cd "$E2E_TMP/msi" && "$WINE_RUN" "$tool" verify windows.exe >/dev/null 2>&1) || fail "verify refused the setup"
pass "Windows and Linux builds of the packing tool agree byte for byte"
