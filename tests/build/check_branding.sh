#!/usr/bin/env bash
# The stub built without branding options carries msistub's own icon (with
# the sizes the progress window needs) and a version resource with the
# project's version; the build's icon check refuses icons without them.
#   check_branding.sh STUB PROJECT_VERSION SOURCE_DIR
set -euo pipefail
stub="$1" version="$2" source_dir="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The strings of the version resource, name and value on alternate lines.
version_value() {
  x86_64-w64-mingw32-strings -el "$stub" | grep -A1 -x "$1" | sed -n 2p
}
[ "$(version_value ProductVersion)" = "$version" ] || fail "ProductVersion is '$(version_value ProductVersion)', not $version"
[ "$(version_value FileVersion)" = "$version" ] || fail "FileVersion is '$(version_value FileVersion)', not $version"
[ "$(version_value ProductName)" = msistub ] || fail "ProductName is '$(version_value ProductName)'"
echo "ok: the version resource carries the project's version $version"

wrestool -x -t14 -n APP "$stub" -o "$work/stub.ico" || fail "the stub has no icon group APP"
python3 "$source_dir/scripts/make_icon.py" "$work/own.ico"
[ "$(icotool -l "$work/stub.ico")" = "$(icotool -l "$work/own.ico")" ] || fail "the stub's icon is not msistub's own"
echo "ok: the icon group is msistub's own"

# An icon with one 16x16 image, and a file that is no icon.
python3 - "$work/own.ico" "$work/only16.ico" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
for index in range(struct.unpack("<H", data[4:6])[0]):
    entry = data[6 + 16 * index:22 + 16 * index]
    width, height, colours, reserved, planes, bits, size, offset = struct.unpack("<BBBBHHII", entry)
    if width == 16:
        head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", width, height, colours, reserved, planes, bits, size, 22)
        open(sys.argv[2], "wb").write(head + data[offset:offset + size])
        break
PY
# CMake wraps its messages; the words are compared on one line.
check() { cmake -DICON="$1" -P "$source_dir/cmake/SetupIconCheck.cmake" 2>&1 | tr -s " \n" "  "; }
cases=("$work/own.ico|0|holds every size"
       "$work/only16.ico|1|has no 32x32 image (it has: 16)"
       "$source_dir/README.md|1|is not an .ico file"
       "$work/absent.ico|1|does not exist")
for case in "${cases[@]}"; do
  IFS='|' read -r icon refused message <<<"$case"
  set +e
  output=$(check "$icon")
  status=$?
  set -e
  if [ "$refused" = 1 ]; then [ "$status" != 0 ] || fail "the check took $icon"; else [ "$status" = 0 ] || fail "the check refused $icon: $output"; fi
  grep -qF "$message" <<<"$output" || fail "the check of $icon said: $output"
done
echo "ok: the icon check takes an icon with 16x16 and 32x32 images and refuses others with a message"
