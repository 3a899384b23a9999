#!/usr/bin/env bash
# A setup branded by pack runs under Wine and its progress window shows the
# vendor's icon: the screenshot script takes a picture of the window, which
# must hold a 16x16 square in the icon's colour (the small icon of the
# caption), while the same setup without --icon shows none of that colour.
source "$(dirname "$0")/lib.sh"

python3 - "$E2E_TMP/vendor.ico" <<'PY'
import struct, sys
# Squares of one colour that the launcher's own icon never uses.
images = []
for size in (16, 24, 32, 48, 64):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    images.append((size, header + bytes((0x38, 0xC0, 0x18, 255)) * size * size + b'\0' * (((size + 31) // 32) * 4 * size)))
data = struct.pack('<HHH', 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, image in images:
    data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
    offset += len(image)
open(sys.argv[1], 'wb').write(data + b''.join(image for _, image in images))
PY

export MSISTUB_PACK MSISTUB_BUILD MSISTUB_DEV_PRIVATE_KEY
# Without DISPLAY the script starts an X server of its own, where no window
# of another test can cover the one it pictures.
screenshot() { env -u DISPLAY bash "$MSISTUB_SOURCE/scripts/screenshot-progress.sh" "$@"; }
icon_pixels() {
  convert "$1" -fill black +opaque '#18C038' -fill white -opaque '#18C038' -format '%[fx:int(mean*w*h+0.5)]' info:
}
PACK_OPTIONS="--icon $E2E_TMP/vendor.ico --product-version 2.0" \
  screenshot "$E2E_TMP/branded.png" 256 > "$E2E_TMP/branded.log" 2>&1 ||
  fail "the branded setup's window was not pictured: $(cat "$E2E_TMP/branded.log")"
branded=$(icon_pixels "$E2E_TMP/branded.png")
[ "$branded" -ge 256 ] || fail "the picture of the branded setup holds $branded pixels of the icon's colour, not a 16x16 icon"
pass "the branded setup's window shows the vendor's icon ($branded pixels of its colour)"

screenshot "$E2E_TMP/plain.png" 256 > "$E2E_TMP/plain.log" 2>&1 ||
  fail "the plain setup's window was not pictured: $(cat "$E2E_TMP/plain.log")"
plain=$(icon_pixels "$E2E_TMP/plain.png")
[ "$plain" = 0 ] || fail "the picture of the setup without --icon holds $plain pixels of the vendor icon's colour"
pass "without --icon the window shows msistub's own icon"
