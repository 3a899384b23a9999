#!/usr/bin/env bash
# Sets the machine up, builds the launcher and the packing tool, makes a demo
# MSI with an external cabinet, packs it into a single-file setup, runs that
# setup under Wine and shows what it installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
jobs=$(nproc)

echo "=== building"
cmake --preset native >/dev/null && cmake --build --preset native -j"$jobs" --target msistub-pack
cmake --preset windows >/dev/null && cmake --build --preset windows -j"$jobs" --target msistub

work="$root/build/demo"
rm -rf "$work"
mkdir -p "$work/payload"
bash scripts/make-demo-msi.sh "$work"

echo "=== packing $work/demo.msi into $work/setup.exe"
build/native/tools/pack/msistub-pack pack --stub build/windows/msistub.exe \
  --key build/dev-key/dev-private.pem --out "$work/setup.exe" "$work/demo.msi"
build/native/tools/pack/msistub-pack list "$work/setup.exe"

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
echo "=== making a fresh Wine prefix"
bash scripts/wine-prefix.sh "$WINEPREFIX"

echo "=== running the setup under Wine: setup.exe /qn"
set +e
xvfb-run -a wine "$work/setup.exe" /qn
code=$?
set -e
wineserver -w
echo "setup.exe exit code: $code"

echo "=== what was installed"
find "$WINEPREFIX/drive_c/Program Files/msistub demo" -type f -exec ls -l {} + 2>/dev/null || echo "(nothing under Program Files)"
echo "--- Uninstall key"
wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null |
  grep -i -A12 'msistub demo' | grep -E 'HKEY|DisplayName|DisplayVersion|UninstallString' || echo "(no Uninstall key)"
echo "--- extracted package kept in C:\\windows\\Installer"
ls -l "$WINEPREFIX/drive_c/windows/Installer"/\{*\} 2>/dev/null || true
exit "$code"
