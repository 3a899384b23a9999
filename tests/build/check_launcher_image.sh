#!/usr/bin/env bash
# The launcher must run as one file on any 64-bit Windows, elevated, from a
# folder that others can write to: it may import at load time only the
# system's KnownDLLs (always taken from the system directory, never from the
# setup's folder), it carries ASLR (with high entropy) and DEP, and it stays
# small enough to download and start at once. The common controls are not
# imported: the launcher loads them (version 6, from the side-by-side store
# through the manifest) on a second thread while it verifies the payloads,
# where an import would load them, with the display driver and the theme,
# before its first line runs.
set -euo pipefail
image="$1"
objdump=x86_64-w64-mingw32-objdump
allowed='^(ADVAPI32|GDI32|KERNEL32|msvcrt|ole32|OLEAUT32|SHELL32|USER32)\.dll$'
max_size=524288

headers=$("$objdump" -p "$image")
status=0
while read -r dll; do
  if [[ "$dll" =~ $allowed ]]; then
    echo "ok: imports $dll"
  elif [[ "${dll^^}" == COMCTL32.DLL ]]; then
    echo "FAIL: imports $dll; the launcher loads the common controls at run time, on a second thread"; status=1
  else
    echo "FAIL: imports $dll, which is not a known system DLL"; status=1
  fi
done < <(printf '%s\n' "$headers" | sed -n 's/^\s*DLL Name: //p')

grep -q PE32+ <<<"$(file -b "$image")" || { echo "FAIL: not a PE32+ image"; status=1; }
for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
  if printf '%s\n' "$headers" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' | grep -qw "$flag"; then
    echo "ok: $flag"
  else
    echo "FAIL: $flag is not set"; status=1
  fi
done

size=$(stat -c %s "$image")
if [ "$size" -le "$max_size" ]; then echo "ok: $size bytes"; else echo "FAIL: $size bytes, more than $max_size"; status=1; fi
exit $status
