#!/usr/bin/env bash
# The image check must fail on a program that imports a DLL outside its list,
# and name that DLL.
set -uo pipefail
check="$(dirname "$0")/check_launcher_image.sh"
image="$1" dll="$2"
output=$(bash "$check" "$image")
status=$?
printf '%s\n' "$output"
[ "$status" -ne 0 ] || { echo "FAIL: the check passed $image"; exit 1; }
grep -qx "FAIL: imports $dll, which is not a known system DLL" <<<"$output" || { echo "FAIL: the check did not name $dll"; exit 1; }
echo "ok: the check rejects $dll"
