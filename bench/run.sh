#!/usr/bin/env bash
# Benchmark of the launcher under Wine: time to hand-off and peak memory for
# setups that carry a real MSI with a 1 MiB, a 64 MiB and a 512 MiB cabinet, random
# (incompressible) and log text (compressible), side by side with two floors
# (bench/floor.cpp: one reads each file whole, the streaming one in 1 MiB
# pieces) and NSIS installers (zlib, LZMA) that carry the same files. Then
# the zlib bombs of the hostile-file generator (tests/hostile; a manifest of
# 4 MiB that inflates past 4 GiB), made from the setup with an empty cabinet,
# run once each with /qn for their exit code, time and peak memory.
# Run on demand, on a quiet machine; not part of CI.
#
#   bench/run.sh [--runs N] [--sizes "1 64 512"] [--kinds "random text"] [--prepare-only]
#
# The 1 MiB case is measured incompressible only: it shows the fixed cost.
#
# --prepare-only builds the programs and the cases and measures nothing.
#
# Environment:
#   BENCH_MAX_LOAD   1-minute load average regarded as quiet (default 0.5)
#   BENCH_WAIT_QUIET seconds to wait for a quiet machine before measuring
#                    anyway, with a warning in the result (default 1800)
#
# Everything lives under build/bench-*: build/bench-windows (launcher),
# build/bench-native (packing tool, hostile-file generator), build/bench-work
# (tools, Wine prefix, cases, results; the bombs beside the empty case's
# setup in cases/0-random). Generated MSIs, setups, NSIS installers and bombs
# are kept between runs and remade when their inputs change. The table goes
# to stdout and to build/bench-work/results.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=5
sizes="1 64 512"
kinds="random text"
mode=all
while [ $# -gt 0 ]; do
  case "$1" in
    --clean-outputs) mode=clean; shift ;;
    --inside-display) mode=measure; shift ;;
    --prepare-only) mode=prepare; shift ;;
    --runs) runs="$2"; shift 2 ;;
    --sizes) sizes="$2"; shift 2 ;;
    --kinds) kinds="$2"; shift 2 ;;
    -h|--help) awk 'NR == 1 { next } /^#/ { print; next } { exit }' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
done

work="$root/build/bench-work"
tools="$work/tools"
prefix="$work/prefix"
product_code="{B3E5C0DE-0B1C-4D2E-8F30-415263748596}"
openssl_root="${XDG_CACHE_HOME:-$HOME/.cache}/msistub/openssl-mingw64"
isal_root="${XDG_CACHE_HOME:-$HOME/.cache}/msistub/isal-mingw64"
bearssl_root="${XDG_CACHE_HOME:-$HOME/.cache}/msistub/bearssl-mingw64"
log() { printf '=== %s\n' "$*" >&2; }

install_tools() {
  local missing=()
  command -v hyperfine >/dev/null || missing+=(hyperfine)
  command -v makensis >/dev/null || missing+=(nsis)
  command -v osslsigncode >/dev/null || missing+=(osslsigncode)
  command -v openssl >/dev/null || missing+=(openssl)
  if [ ${#missing[@]} -gt 0 ]; then
    log "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y -q "${missing[@]}" >/dev/null
  fi
  if ! command -v wine >/dev/null || ! command -v x86_64-w64-mingw32-g++ >/dev/null ||
     ! command -v wixl >/dev/null || [ ! -f "$openssl_root/lib64/libcrypto.a" ] ||
     [ ! -f "$isal_root/lib/libisal_inflate.a" ] || [ ! -f "$bearssl_root/lib/libbearssl.a" ]; then
    bash scripts/setup.sh
  fi
}

build_programs() {
  log "building the launcher, the packing tool and the hostile-file generator"
  cmake --preset windows -B build/bench-windows >/dev/null
  cmake --build build/bench-windows -j2 --target msistub >/dev/null
  cmake --preset native -B build/bench-native >/dev/null
  cmake --build build/bench-native -j2 --target msistub-pack msistub-hostile-files >/dev/null

  log "building the floors, the test msiexec, the memory probe, the stage timer and the hash timer"
  mkdir -p "$tools"
  local cxx=x86_64-w64-mingw32-g++
  local flags=(-O2 -std=c++17 -Wall -Wextra -static -static-libgcc -static-libstdc++ -s)
  $cxx "${flags[@]}" -mwindows bench/test_msiexec.cpp -o "$tools/test_msiexec.exe"
  $cxx "${flags[@]}" -mwindows bench/floor.cpp -o "$tools/floor.exe" -lshell32
  $cxx "${flags[@]}" -mwindows -DSTREAM_FLOOR bench/floor.cpp -o "$tools/stream_floor.exe" -lshell32
  $cxx "${flags[@]}" -municode bench/peak_memory.cpp -o "$tools/peak_memory.exe" -lpsapi
  # The tools check entries as the launcher does, with the development key
  # compiled in, since they carry no key resource.
  $cxx "${flags[@]}" -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -Isrc -I"$openssl_root/include" \
    bench/stages.cpp build/bench-windows/generated/verification_key_data.cpp -o "$tools/stages.exe" \
    build/bench-windows/libmsistub_core.a "$openssl_root/lib64/libcrypto.a" \
    "$isal_root/lib/libisal_inflate.a" "$bearssl_root/lib/libbearssl.a" -lws2_32 -lcrypt32 -lcomctl32 -lshell32 -lole32 -luser32 -ladvapi32 -lgdi32
  $cxx "${flags[@]}" -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -Isrc -I"$openssl_root/include" \
    bench/hash_speed.cpp build/bench-windows/generated/verification_key_data.cpp -o "$tools/hash_speed.exe" \
    build/bench-windows/libmsistub_core.a \
    "$openssl_root/lib64/libcrypto.a" "$isal_root/lib/libisal_inflate.a" "$bearssl_root/lib/libbearssl.a" -ladvapi32
}

# A prefix of its own: the test msiexec stands where system32\msiexec.exe is
# (WINEDLLOVERRIDES makes Wine run that file), and windows are unmanaged,
# since Xvfb runs no window manager and Wine would otherwise wait two seconds
# for one each time the progress window closes.
prepare_prefix() {
  log "preparing the Wine prefix $prefix"
  bash scripts/wine-prefix.sh "$prefix"
  # One server for all runs, so no run pays for starting it.
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  cp "$tools/test_msiexec.exe" "$prefix/drive_c/windows/system32/msiexec.exe"
}

newer() { [ ! -e "$2" ] || [ "$1" -nt "$2" ]; }

# The measured cases, "SIZE-KIND" each; 1 MiB only incompressible.
case_names() {
  local size kind
  for size in $sizes; do
    for kind in $kinds; do
      [ "$size" = 1 ] && [ "$kind" != random ] && continue
      printf '%s-%s\n' "$size" "$kind"
    done
  done
}

make_case() {
  local dir="$1" size="$2" kind="$3"
  if [ ! -f "$dir/.made" ] || newer bench/make-bench-msi.sh "$dir/.made" || newer bench/make_log_text.py "$dir/.made"; then
    log "making the $size MiB $kind MSI"
    rm -rf "$dir"
    bash bench/make-bench-msi.sh "$dir" "$size" "$kind"
    touch "$dir/.made"
  fi
  if newer build/bench-windows/msistub.exe "$dir/setup.exe" || newer "$dir/.made" "$dir/setup.exe"; then
    log "packing $dir/setup.exe"
    build/bench-native/tools/pack/msistub-pack pack --stub build/bench-windows/msistub.exe \
      --key build/dev-key/dev-private.pem --out "$dir/setup.exe" --force "$dir/bench.msi" >/dev/null
  fi
  local compressor
  for compressor in zlib lzma; do
    if newer "$dir/.made" "$dir/nsis-$compressor.exe" || newer bench/installer.nsi "$dir/nsis-$compressor.exe"; then
      log "making $dir/nsis-$compressor.exe"
      makensis -V1 -DCOMPRESSOR="$compressor" -DCASE_DIR="$dir" -DOUT_FILE="$dir/nsis-$compressor.exe" \
        bench/installer.nsi
    fi
  done
}

# The zlib bombs of the hostile-file generator, made from the setup DIR/setup.exe
# and kept in DIR with bombs.txt ("NAME EXPECTED_EXIT_CODE WHAT" lines, as the
# generator's cases.txt has them). The generator makes all its cases at once
# from a signed launcher and a setup signed after packing as well, so those
# are made as the end-to-end test makes them, and everything but the bombs is
# thrown away (the chain of "another setup" goes into cases other than the
# bombs, so the setup itself serves).
make_bombs() {
  local dir="$1" generator=build/bench-native/tools/pack/msistub-hostile-files
  if newer "$dir/setup.exe" "$dir/bombs.txt" || newer "$generator" "$dir/bombs.txt"; then
    log "making the zlib bombs from $dir/setup.exe"
    local scratch="$work/hostile-scratch"
    rm -rf "$scratch" "$dir/bombs.txt" "$dir"/*zlib-bomb*.exe
    mkdir -p "$scratch"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/signer.key" -out "$scratch/signer.crt" -days 30 \
      -subj "/CN=msistub bench" 2>/dev/null
    build/bench-native/tools/pack/msistub-pack stub --stub build/bench-windows/msistub.exe \
      --key build/dev-key/dev-private.pem --out "$scratch/keyed.exe" >/dev/null
    osslsigncode sign -certs "$scratch/signer.crt" -key "$scratch/signer.key" -in "$scratch/keyed.exe" \
      -out "$scratch/signed.exe" >/dev/null
    osslsigncode sign -certs "$scratch/signer.crt" -key "$scratch/signer.key" -in "$dir/setup.exe" \
      -out "$scratch/signed-last.exe" >/dev/null
    "$generator" --setup "$dir/setup.exe" --signed-stub "$scratch/signed.exe" --signed-setup "$scratch/signed-last.exe" \
      --other-setup "$dir/setup.exe" --key build/dev-key/dev-private.pem --out "$scratch/hostile"
    if ! grep -E '^[^ ]*zlib-bomb[^ ]* ' "$scratch/hostile/cases.txt" > "$scratch/bombs.txt"; then
      echo "the hostile-file generator made no zlib bomb" >&2
      exit 1
    fi
    local name
    while read -r name _; do mv "$scratch/hostile/$name.exe" "$dir/"; done < "$scratch/bombs.txt"
    mv "$scratch/bombs.txt" "$dir/bombs.txt"
    rm -rf "$scratch"
  fi
}

# Run before every timed run, so each one writes its files afresh (the
# launcher leaves a package alone that already stands in its folder), and
# so no write-back of an earlier run falls into the next.
clean_outputs() {
  rm -rf "$prefix/drive_c/windows/Installer/$product_code" "$prefix/drive_c/bench-floor" \
    "$prefix/drive_c/bench-nsis" "$prefix/drive_c/bench-stages"
  sync
}

one_minute_load() { cut -d' ' -f1 /proc/loadavg; }
is_quiet() { awk -v load="$(one_minute_load)" -v limit="${BENCH_MAX_LOAD:-0.5}" 'BEGIN { exit !(load < limit) }'; }

wait_for_quiet() {
  local waited=0 limit="${BENCH_WAIT_QUIET:-1800}"
  until is_quiet; do
    if [ "$waited" -ge "$limit" ]; then
      log "WARNING: load average $(one_minute_load) is above ${BENCH_MAX_LOAD:-0.5}; measuring anyway"
      return
    fi
    log "load average $(one_minute_load); waiting for a quiet machine"
    sleep 30
    waited=$((waited + 30))
  done
}

measure_case() {
  local dir="$1"
  local floor_command="wine $tools/floor.exe 'C:\\bench-floor' bench.msi bench.cab"
  local stream_floor_command="wine $tools/stream_floor.exe 'C:\\bench-floor' bench.msi bench.cab"
  cd "$dir"
  log "timing $(basename "$dir") ($runs runs each)"
  hyperfine --style basic --warmup 1 --runs "$runs" --prepare "bash $root/bench/run.sh --clean-outputs" \
    --export-json "$dir/times.json" \
    -n floor "$floor_command" \
    -n "stream floor" "$stream_floor_command" \
    -n msistub "wine setup.exe" \
    -n "NSIS zlib" "wine nsis-zlib.exe" \
    -n "NSIS lzma" "wine nsis-lzma.exe" >&2

  log "peak memory of $(basename "$dir")"
  : > "$dir/memory.txt"
  local name program
  for name in floor stream-floor msistub nsis-zlib nsis-lzma; do
    case "$name" in
      floor) program=("$tools/floor.exe" 'C:\bench-floor' bench.msi bench.cab) ;;
      stream-floor) program=("$tools/stream_floor.exe" 'C:\bench-floor' bench.msi bench.cab) ;;
      msistub) program=(setup.exe) ;;
      *) program=("$name.exe") ;;
    esac
    clean_outputs
    printf '%s %s\n' "$name" "$(wine "$tools/peak_memory.exe" "${program[@]}" | tr -d '\r')" >> "$dir/memory.txt"
  done

  log "launcher stages of $(basename "$dir")"
  clean_outputs
  wine "$tools/stages.exe" setup.exe 'C:\bench-stages' | tr -d '\r' > "$dir/stages.txt"
  clean_outputs
  cd "$root"
}

# The launcher's peak with an empty cabinet: Wine's own share and the program's.
measure_base() {
  local dir="$work/cases/0-random"
  cd "$dir"
  clean_outputs
  wine setup.exe >/dev/null 2>&1 || true
  clean_outputs
  printf 'msistub %s\n' "$(wine "$tools/peak_memory.exe" setup.exe | tr -d '\r')" > "$dir/memory.txt"
  clean_outputs
  cd "$root"
}

# Each bomb runs once, since it inflates gigabytes before it can fail; its
# line in the empty case's memory.txt holds its time as well. Wine gets no
# standard input, or it would take the lines of bombs.txt meant for the loop.
measure_bombs() {
  local dir="$work/cases/0-random" name
  cd "$dir"
  while read -r name _; do
    log "running $name once"
    clean_outputs
    printf '%s %s\n' "$name" "$(wine "$tools/peak_memory.exe" "$name.exe" /qn </dev/null | tr -d '\r')" >> memory.txt
  done < bombs.txt
  clean_outputs
  cd "$root"
}

measure_all() {
  export WINEPREFIX="$prefix" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;msiexec.exe=n,b"
  prepare_prefix
  trap 'wineserver -k || true' EXIT
  wait_for_quiet
  local load_before name
  load_before=$(one_minute_load)
  measure_base
  for name in $(case_names); do
    # Other work may have started meanwhile: each case waits for quiet again.
    wait_for_quiet
    measure_case "$work/cases/$name"
  done
  wait_for_quiet
  measure_bombs
  {
    python3 bench/report.py --base "$work/cases/0-random" --load-before "$load_before" --load-after "$(one_minute_load)" \
      --wine "$(wine --version 2>/dev/null)" --cpu "$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)" \
      --launcher-size "$(stat -c %s build/bench-windows/msistub.exe)" \
      $(for name in $(case_names); do printf '%s ' "$work/cases/$name"; done)
  } | tee "$work/results.md"
  wait_for_quiet
  printf '\nLauncher: %s bytes; %s\n' "$(stat -c %s build/bench-windows/msistub.exe)" \
    "$(wine "$tools/hash_speed.exe" | tr -d '\r')" | tee -a "$work/results.md"
}

case "$mode" in
  clean) clean_outputs; exit 0 ;;
  measure) measure_all; exit 0 ;;
esac

install_tools
build_programs
make_case "$work/cases/0-random" 0 random
make_bombs "$work/cases/0-random"
for name in $(case_names); do
  make_case "$work/cases/$name" "${name%%-*}" "${name#*-}"
done
[ "$mode" = prepare ] && exit 0
# The launcher shows a window, so Wine needs a display: a private Xvfb.
if [ -n "${DISPLAY:-}" ]; then
  bash "$0" --inside-display --runs "$runs" --sizes "$sizes" --kinds "$kinds"
else
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside-display --runs "$runs" --sizes "$sizes" --kinds "$kinds"
fi
