#!/usr/bin/env bash
# Sets the machine up, builds everything and runs every test: the portable
# code and the packing tool natively (plain and under AddressSanitizer and
# UBSan), the fuzz targets for a short while, the launcher's unit and
# end-to-end tests under Wine on Xvfb, with the packages in dist/ that the
# vendor guide installs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
step() { printf '\n=== [%ss] %s\n' "$SECONDS" "$*"; }

# Making a Wine prefix takes a while and needs none of the builds: the unit
# tests' prefix and the base that every end-to-end test copies are made in
# the background meanwhile.
mkdir -p build/windows
(bash scripts/wine-prefix.sh "$PWD/build/windows/wineprefix" &&
  bash scripts/wine-prefix.sh "$PWD/build/windows/e2e-base-prefix") >build/windows/wine-prefixes.log 2>&1 &
prefixes=$!

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native -j"$jobs"

step "native build under AddressSanitizer and UBSan"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan -j"$jobs"
ctest --preset native-asan -j"$jobs"

step "fuzz targets, each for a bounded time (clang, libFuzzer, AddressSanitizer, UBSan)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"
ctest --preset fuzz -j"$jobs"

step "Windows build and tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
# The packages the vendor guide's test installs and build.packages checks,
# from the native and windows trees just built (nothing is built again).
step "packages (dist/)"
MSISTUB_SKIP_SETUP=1 bash scripts/package.sh
wait "$prefixes" || { cat build/windows/wine-prefixes.log; exit 1; }
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset windows -j"$jobs"
step "all tests passed"
