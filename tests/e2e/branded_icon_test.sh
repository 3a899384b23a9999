#!/usr/bin/env bash
# A setup branded by pack runs under Wine and its progress window shows the
# vendor's icon: the screenshot script takes a picture of the window, which
# must hold a 16x16 square in the icon's colour (the small icon of the
# caption), and at 192 DPI a 32x32 one (the launcher is DPI-aware and loads
# its icons for the window's DPI), while the same setup without --icon shows
# none of that colour.
source "$(dirname "$0")/lib.sh"

python3 - "$E2E_TMP/vendor.ico" <<'PY'
import struct, sys
# Squares in colours the launcher's own icon never uses, one for the 16x16
# image (#18C038), one for the 32x32 (#C03818), one for the other sizes, so a
# picture tells which image the window loaded.
colours = {16: (0x38, 0xC0, 0x18), 32: (0x18, 0x38, 0xC0)}
images = []
for size in (16, 24, 32, 48, 64):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixel = bytes(colours.get(size, (0xC0, 0x18, 0x38)) + (255,))
    images.append((size, header + pixel * size * size + b'\0' * (((size + 31) // 32) * 4 * size)))
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
# icon_pixels PICTURE [COLOUR]: how many pixels of the colour (the 16x16
# image's unless given) the picture holds.
icon_pixels() {
  local colour="${2:-#18C038}"
  convert "$1" -fill black +opaque "$colour" -fill white -opaque "$colour" -format '%[fx:int(mean*w*h+0.5)]' info:
}
PACK_OPTIONS="--icon $E2E_TMP/vendor.ico --product-version 2.0" \
  screenshot "$E2E_TMP/branded.png" 256 > "$E2E_TMP/branded.log" 2>&1 ||
  fail "the branded setup's window was not pictured: $(cat "$E2E_TMP/branded.log")"
branded=$(icon_pixels "$E2E_TMP/branded.png")
[ "$branded" -ge 256 ] || fail "the picture of the branded setup holds $branded pixels of the icon's colour, not a 16x16 icon"
pass "the branded setup's window shows the vendor's icon ($branded pixels of its colour)"

DPI=192 PACK_OPTIONS="--icon $E2E_TMP/vendor.ico" screenshot "$E2E_TMP/high-dpi.png" 256 > "$E2E_TMP/high-dpi.log" 2>&1 ||
  fail "the branded setup's window at 192 DPI was not pictured: $(cat "$E2E_TMP/high-dpi.log")"
high=$(icon_pixels "$E2E_TMP/high-dpi.png" '#C03818')
[ "$high" -ge 1024 ] || fail "at 192 DPI the picture holds $high pixels of the 32x32 image's colour, not the whole image"
[ "$(icon_pixels "$E2E_TMP/high-dpi.png")" = 0 ] || fail "at 192 DPI the window shows the 16x16 image, stretched"
pass "at 192 DPI the window shows the icon's 32x32 image ($high pixels of its colour), not the 16x16 one"

screenshot "$E2E_TMP/plain.png" 256 > "$E2E_TMP/plain.log" 2>&1 ||
  fail "the plain setup's window was not pictured: $(cat "$E2E_TMP/plain.log")"
plain=$(icon_pixels "$E2E_TMP/plain.png")
[ "$plain" = 0 ] && [ "$(icon_pixels "$E2E_TMP/plain.png" '#C03818')" = 0 ] ||
  fail "the picture of the setup without --icon holds pixels of the vendor icon's colours"
pass "without --icon the window shows msistub's own icon"
