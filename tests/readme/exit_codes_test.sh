#!/usr/bin/env bash
# The launcher's own exit codes that the README gives a deployment tool
# ("What happens on the user's machine"), each from a real run under Wine of
# a setup broken the way the README says: the run must end with that code,
# and the README must still say it for that case.
source "$(dirname "$0")/../e2e/lib.sh"

readme="$MSISTUB_SOURCE/README.md"
# The README's bullet on exit codes, on one line.
claims=$(awk '/^- \*\*Exit codes a deployment tool sees\.\*\*/ { on = 1 } on && /^- \*\*/ && !/Exit codes/ { on = 0 }
  on { print }' "$readme" | tr '\n' ' ' | tr -s ' ')
[ -n "$claims" ] || fail "the README has no bullet 'Exit codes a deployment tool sees'"

use_own_prefix
use_test_installer
make_msi "msistub exit codes" '{7D3E1A2B-4C5D-4E6F-8A9B-0C1D2E3F4A5B}' 1033 product.msi
pack_setup "$E2E_TMP/good.exe" product.msi
pack_setup "$E2E_TMP/german-only.exe" product.msi:1031
openssl genrsa -out "$E2E_TMP/other-private.pem" 2048 2>/dev/null

# damage KIND IN OUT: the chain is walked from the file's end as the launcher
# walks it (28-byte trailers: type GUID, id, signature length, data length).
damage() {
  python3 - "$@" "$E2E_TMP/other-private.pem" <<'PY'
import struct, subprocess, sys, zlib
kind, source, target, other_key = sys.argv[1:]
data = bytearray(open(source, "rb").read())
entries, end = [], len(data)
while True:
    entry_id, signature, length = struct.unpack("<III", data[end - 12:end])
    start = end - 28 - signature - length
    entries.append((entry_id, start, length, signature))
    if entry_id == 0:
        break
    end = start
if kind == "payload":  # one bit in the middle of the last payload's data
    _, start, length, _ = entries[0]
    data[start + length // 2] ^= 1
elif kind == "other-key":  # the manifest signed with a key the stub does not carry
    _, start, length, signature = entries[-1]
    content = zlib.decompress(bytes(data[start:start + length]))
    signed = subprocess.run(["openssl", "dgst", "-sha256", "-sign", other_key], input=content,
                            capture_output=True, check=True).stdout
    assert len(signed) == signature
    data[start + length:start + length + signature] = signed
elif kind == "missing":  # the last payload's entry gone, its manifest line kept
    del data[entries[0][1]:]
elif kind == "cut":  # the last byte gone
    del data[-1]
open(target, "wb").write(data)
PY
}
damage payload "$E2E_TMP/good.exe" "$E2E_TMP/damaged-payload.exe"
damage other-key "$E2E_TMP/good.exe" "$E2E_TMP/other-key.exe"
damage missing "$E2E_TMP/good.exe" "$E2E_TMP/missing-entry.exe"
damage cut "$E2E_TMP/good.exe" "$E2E_TMP/cut-short.exe"
cp "$MSISTUB_EXE" "$E2E_TMP/bare-stub.exe"

runs() { [ -f "$INSTALLER_LOG" ] && wc -l < "$INSTALLER_LOG" || echo 0; }
while read -r name code claim; do
  before=$(runs)
  result=$(LC_ALL=en_US.UTF-8 run_with_limit 120 "$E2E_TMP/$name.exe" /qn)
  [ "$result" = "$code" ] || fail "$name: exit code $result, expected $code"
  [ "$(runs)" = "$before" ] || fail "$name: the installer was started"
  grep -qF "$claim" <<< "$claims" || fail "the README no longer says '$claim' for $name (exit code $code)"
  pass "$name: exit code $code, as the README says ('$claim')"
done <<'CASES'
damaged-payload 13 13 the setup is damaged (an entry does not inflate or verify, or one is missing)
missing-entry 13 13 the setup is damaged (an entry does not inflate or verify, or one is missing)
german-only 13 or holds no package for this system
other-key 1392 1392 its manifest is not signed with the stub's key
cut-short 1168 1168 the file holds no container (it was cut short, or is not a setup)
bare-stub 1168 1168 the file holds no container (it was cut short, or is not a setup)
CASES

# And the control: the same setup, undamaged, installs with 0.
result=$(LC_ALL=en_US.UTF-8 run_with_limit 120 "$E2E_TMP/good.exe" /qn)
[ "$result" = 0 ] || fail "the undamaged setup: exit code $result, expected 0"
pass "the undamaged setup ends with 0"
