#!/usr/bin/env bash
# Builds what a vendor installs instead of a toolchain, into dist/:
#   msistub_VERSION_amd64.deb   msistub-pack in /usr/bin, the launcher in
#                               /usr/share/msistub/, the README in
#                               /usr/share/doc/msistub/
#   msistub_VERSION_win64.zip   msistub-pack.exe and msistub.exe side by side
# The packer finds the launcher in either place without --stub. Only the two
# programs are built, in the build trees of the native and windows presets,
# so a later test run reuses them (and this reuses a test run's).
# MSISTUB_SKIP_SETUP=1 skips scripts/setup.sh when the caller ran it.
set -euo pipefail
cd "$(dirname "$0")/.."

[ "${MSISTUB_SKIP_SETUP:-0}" = 1 ] || bash scripts/setup.sh

jobs=$(nproc)
log() { printf '[package] %s\n' "$*"; }

configure() {
  [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1" >/dev/null
}

log "building msistub.exe and msistub-pack.exe (MinGW-w64) and msistub-pack (native)"
configure windows
cmake --build --preset windows -j"$jobs" --target msistub msistub-pack
configure native
cmake --build --preset native -j"$jobs" --target msistub-pack

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)
rm -rf dist
mkdir -p dist

log "Debian package"
# cpack installs from the build tree as it stands; it builds nothing more.
(cd build/native && cpack -G DEB -B "$PWD/../package-deb" >/dev/null)
mv build/package-deb/msistub_"$version"_*.deb dist/
rm -rf build/package-deb

log "Windows zip"
stage=build/package-zip/msistub-$version-win64
rm -rf build/package-zip
mkdir -p "$stage"
cp build/windows/msistub.exe README.md "$stage/"
# The packer is linked statically; its symbols are most of its size.
x86_64-w64-mingw32-strip -o "$stage/msistub-pack.exe" build/windows/tools/pack/msistub-pack.exe
(cd build/package-zip && cmake -E tar cf "../../dist/msistub_${version}_win64.zip" --format=zip "msistub-$version-win64")
rm -rf build/package-zip

log "wrote $(cd dist && echo *)"
