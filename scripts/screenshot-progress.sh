#!/usr/bin/env bash
# Takes a screenshot of the progress window while a setup writes a large
# payload, so anyone can look at the window without a Windows machine.
#
#   scripts/screenshot-progress.sh [OUT.png] [PAYLOAD_MIB]
#
# Packs the demo MSI with a cabinet of PAYLOAD_MIB MiB (default 512) into a
# setup and runs it under Wine in a prefix of its own on an X display
# (xvfb-run when DISPLAY is not set). While the progress window is open it
# takes pictures of the screen and keeps one from the middle of the run as
# OUT.png (default ./progress-window.png). OUT.txt gets the window's title and
# bar position as msistub-driver read them when the window opened.
# Uses build/windows (msistub.exe, msistub-driver.exe) and build/native
# (msistub-pack); MSISTUB_BUILD, MSISTUB_PACK and MSISTUB_DEV_PRIVATE_KEY
# point elsewhere. PACK_OPTIONS adds options to pack, such as the branding:
#   PACK_OPTIONS="--icon product.ico" scripts/screenshot-progress.sh
# DPI sets the prefix's screen DPI (96 unless given), to see the window as a
# high-DPI screen shows it.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi

out=$(realpath -m "${1:-progress-window.png}")
mebibytes="${2:-512}"
build="${MSISTUB_BUILD:-$source_dir/build/windows}"
pack="${MSISTUB_PACK:-$source_dir/build/native/tools/pack/msistub-pack}"
key="${MSISTUB_DEV_PRIVATE_KEY:-$source_dir/build/dev-key/dev-private.pem}"
title="Contoso Widget 2.0"
product_code='{3C0A7E10-5B1D-4E55-9A63-2F4D8B6C1E70}'
for file in "$build/msistub.exe" "$build/msistub-driver.exe" "$pack" "$key"; do
  [ -e "$file" ] || { echo "screenshot-progress: $file is missing; build the windows and native presets first" >&2; exit 1; }
done

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
launcher=""
finish() {
  [ -n "$launcher" ] && kill "$launcher" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT

echo "packing a setup with a $mebibytes MiB cabinet"
bash "$source_dir/scripts/make-demo-msi.sh" "$work/msi" "$title" "$product_code" 1033 demo.msi >/dev/null
truncate -s "${mebibytes}M" "$work/msi/large.cab"
read -r -a pack_options <<< "${PACK_OPTIONS:-}"
"$pack" pack --stub "$build/msistub.exe" --key "$key" --out "$work/setup.exe" --no-cabinet-check --cabinet "$work/msi/large.cab" \
  "${pack_options[@]}" "$work/msi/demo.msi" >/dev/null

"$source_dir/scripts/wine-prefix.sh" "$WINEPREFIX"
# No window manager runs on the bare X display: Wine draws the caption itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
if [ -n "${DPI:-}" ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f >/dev/null 2>&1
  wineserver -w
fi

echo "running the setup"
wine "$work/setup.exe" /qn >/dev/null 2>&1 &
launcher=$!
wine "$build/msistub-driver.exe" --timeout 300 progress 2>/dev/null | tr -d '\r' > "${out%.png}.txt" &
reader=$!

window_open() { xdotool search --name "^${title}\$" >/dev/null 2>&1; }
for _ in $(seq 1 3000); do window_open && break; sleep 0.1; done
window_open || { echo "screenshot-progress: the progress window did not appear" >&2; exit 1; }

# A picture counts only when the window was still open after it was taken;
# of those, the middle one shows the bar on its way.
frames=0
while window_open; do
  xwd -root -silent > "$work/frame.xwd" 2>/dev/null || break
  window_open || break
  mv "$work/frame.xwd" "$work/frame-$frames.xwd"
  frames=$((frames + 1))
  sleep 0.25
done
[ "$frames" -gt 0 ] || { echo "screenshot-progress: the window closed before a picture was taken; try a larger payload" >&2; exit 1; }
mv "$work/frame-$((frames / 2)).xwd" "$work/kept.xwd"
convert "$work/kept.xwd" "$out"
wait "$reader" || true
echo "wrote $out and ${out%.png}.txt:"
cat "${out%.png}.txt"
