#!/usr/bin/env bash
# The launcher must run as one file on any 64-bit Windows: it may import only
# DLLs that every Windows has, and it carries ASLR (with high entropy) and DEP.
set -euo pipefail
image="$1"
objdump=x86_64-w64-mingw32-objdump
allowed='^(ADVAPI32|COMCTL32|CRYPT32|GDI32|KERNEL32|msvcrt|ole32|OLEAUT32|SHELL32|USER32|WS2_32|bcrypt)\.dll$'

headers=$("$objdump" -p "$image")
status=0
while read -r dll; do
  if [[ "$dll" =~ $allowed ]]; then echo "ok: imports $dll"; else echo "FAIL: imports $dll, which is not a system DLL"; status=1; fi
done < <(printf '%s\n' "$headers" | sed -n 's/^\s*DLL Name: //p')

grep -q PE32+ <<<"$(file -b "$image")" || { echo "FAIL: not a PE32+ image"; status=1; }
for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
  if printf '%s\n' "$headers" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' | grep -qw "$flag"; then
    echo "ok: $flag"
  else
    echo "FAIL: $flag is not set"; status=1
  fi
done
exit $status
