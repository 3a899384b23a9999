#!/usr/bin/env bash
# Installs everything msistub needs on a Debian 12 machine and builds, from
# Debian's own source packages with their assembly enabled, a static OpenSSL
# libcrypto for MinGW-w64 (SHA-256 runs several times faster than the C
# build), ISA-L's inflater (about 2.7 times zlib's speed) and BearSSL, whose
# RSA check needs no crypto provider. Safe to run again: packages already
# present and cached libraries are skipped.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

PACKAGES=(
  build-essential cmake ninja-build pkg-config file python3 openssl perl dpkg-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  libz-mingw-w64-dev zlib1g-dev libssl-dev libmsi-dev libglib2.0-dev libcli11-dev googletest libgtest-dev
  nlohmann-json3-dev
  wine wine64 xvfb xauth xdotool x11-apps imagemagick locales
  msitools wixl gcab osslsigncode icoutils
  clang libclang-rt-14-dev
  nasm libisal-dev
)

CACHE_ROOT="${XDG_CACHE_HOME:-$HOME/.cache}/msistub"
SOURCES_FILE=/etc/apt/sources.list.d/msistub-src.sources

log() { printf '[setup] %s\n' "$*"; }

missing_packages() {
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || printf '%s\n' "$p"
  done
}

install_packages() {
  local missing
  missing=$(missing_packages)
  if [ -z "$missing" ]; then
    log "packages: all present"
    return
  fi
  log "packages: installing $(echo $missing | tr '\n' ' ')"
  $SUDO apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
}

# Source entries for the archives this machine already uses, so apt-get source
# finds Debian's openssl. Derived from the configured binary entries (same
# suites, same signing keys).
add_source_entries() {
  [ -f "$SOURCES_FILE" ] && return
  log "adding deb-src entries in $SOURCES_FILE"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $SUDO tee "$SOURCES_FILE" >/dev/null
  else
    grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee "${SOURCES_FILE%.sources}.list" >/dev/null
    $SUDO touch "$SOURCES_FILE"
  fi
  $SUDO apt-get update -q
}

# Versions of a source package that the archive lists, newest first.
source_versions() {
  apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u -r -V
}

# Builds one library for MinGW-w64 from a Debian source package into the
# cache folder OUT: the source is fetched and unpacked into a fresh folder
# WORK (as WORK/src) and COMPILE is called as "COMPILE WORK OUT.tmp", in a
# subshell. Returns 1 when the archive does not serve that version's files in
# full (an older version may be tried), 2 when the build fails.
build_from_source() {
  local package="$1" version="$2" out="$3" name="$4" compile="$5" work
  work=$(mktemp -d)
  log "fetching the $package $version source package"
  if ! (cd "$work" && apt-get source -q --download-only "$package=$version" >/dev/null 2>&1 &&
        ls "$work"/*.dsc >/dev/null 2>&1); then
    log "$package $version: the archive does not serve its files in full, trying an older one"
    rm -rf "$work"
    return 1
  fi
  (cd "$work" && dpkg-source -x ./*.dsc src >/dev/null)
  log "building $name ($package $version) for MinGW-w64"
  if ! ("$compile" "$work" "$out.tmp"); then
    log "the $name build failed; logs in $work"
    return 2
  fi
  rm -rf "$out"
  mv "$out.tmp" "$out"
  rm -rf "$work"
}

# Makes CACHE_ROOT/LINK point at a build of PACKAGE for MinGW-w64: the newest
# version already built (DIR_FOR names a version's folder, LIBRARY is the file
# that a finished build has in it), else the newest one the archive serves in
# full, built with COMPILE (see build_from_source).
provide_from_source() {
  local package="$1" dir_for="$2" library="$3" link="$4" name="$5" compile="$6" versions v
  versions=$(source_versions "$package")
  [ -n "$versions" ] || { log "apt lists no $package source package"; exit 1; }
  for v in $versions; do
    if [ -f "$("$dir_for" "$v")/$library" ]; then
      use_build "$dir_for" "$v" "$link" "$name" "$package"
      return
    fi
  done
  for v in $versions; do
    if build_from_source "$package" "$v" "$("$dir_for" "$v")" "$name" "$compile"; then
      use_build "$dir_for" "$v" "$link" "$name" "$package"
      return
    elif [ $? = 2 ]; then
      exit 1
    fi
  done
  log "no $package source version could be fetched in full"
  exit 1
}

use_build() {
  local dir
  dir=$("$1" "$2")
  ln -sfn "$dir" "$CACHE_ROOT/$3"
  log "$4 for MinGW-w64: $5 $2 (cached in $dir)"
}

# OpenSSL's libcrypto with its assembly: configured for the mingw64 target
# (perlasm for x86_64, GNU as), only libcrypto.a built; the headers come from
# the build tree.
openssl_dir_for() { printf '%s/openssl-mingw64-%s' "$CACHE_ROOT" "$1"; }

compile_libcrypto() {
  local work="$1" out="$2"
  log "configuring and building libcrypto takes a few minutes"
  cd "$work/src" &&
    ./Configure mingw64 no-shared no-dso no-engine no-module no-tests no-ssl no-tls no-dtls \
      CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar RANLIB=x86_64-w64-mingw32-ranlib \
      RC=x86_64-w64-mingw32-windres >"$work/configure.log" 2>&1 &&
    grep -q -- '-DSHA256_ASM' Makefile &&
    make -j"$(nproc)" build_generated >"$work/make.log" 2>&1 &&
    make -j"$(nproc)" libcrypto.a >>"$work/make.log" 2>&1 &&
    rm -rf "$out" && mkdir -p "$out/lib64" "$out/include" &&
    cp libcrypto.a "$out/lib64/" && cp -r include/openssl "$out/include/"
}

# ISA-L's igzip inflater. Only the inflate objects go into the archive, with
# a small shim (scripts/isal) for the four helpers that live beside the
# compressor: linked as built, the library's gzip helpers would pull the
# compressor and every CRC variant into the launcher. The native build uses
# Debian's libisal-dev. make.inc asks for yasm; nasm assembles the same
# sources.
ISAL_OBJECTS=(igzip_inflate igzip_inflate_multibinary igzip_decode_block_stateless_01
  igzip_decode_block_stateless_04 rfc1951_lookup hufftables_c adler32_base adler32_sse adler32_avx2_4 crc_base)
ISAL_SHIM_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/isal"

# The cache is named for the source version and the shim, so a changed shim
# builds afresh.
isal_dir_for() {
  local shim
  shim=$(cat "$ISAL_SHIM_DIR"/* | sha256sum | cut -c1-12)
  printf '%s/isal-mingw64-%s-%s' "$CACHE_ROOT" "$1" "$shim"
}

compile_isal() {
  local work="$1" out="$2" o objects=()
  (cd "$work/src" &&
    make -j"$(nproc)" -f Makefile.unx arch=mingw AS=nasm CC=x86_64-w64-mingw32-gcc-posix \
      AR=x86_64-w64-mingw32-ar lib >"$work/make.log" 2>&1 &&
    x86_64-w64-mingw32-gcc-posix -O2 -Iinclude -c "$ISAL_SHIM_DIR/inflate_shim.c" -o bin/inflate_shim.o &&
    nasm -f win64 -Iinclude/ -o bin/adler32_dispatch.o "$ISAL_SHIM_DIR/adler32_dispatch.asm") || return 1
  for o in "${ISAL_OBJECTS[@]}" inflate_shim adler32_dispatch; do objects+=("$work/src/bin/$o.o"); done
  rm -rf "$out" && mkdir -p "$out/lib" "$out/include/isa-l" &&
    x86_64-w64-mingw32-ar cr "$out/lib/libisal_inflate.a" "${objects[@]}" &&
    x86_64-w64-mingw32-ranlib "$out/lib/libisal_inflate.a" &&
    cp "$work/src/include/igzip_lib.h" "$work/src/include/types.h" "$out/include/isa-l/"
}

# BearSSL: the launcher checks RSA signatures with it instead of a CryptoAPI
# provider, which under Wine costs more to acquire than all of the launcher's
# checks together. Every source file goes into the archive; the linker takes
# only the RSA public operation and the PKCS #1 padding.
bearssl_dir_for() { printf '%s/bearssl-mingw64-%s' "$CACHE_ROOT" "$1"; }

compile_bearssl() {
  local work="$1" out="$2" source object objects=()
  mkdir -p "$work/obj"
  for source in "$work"/src/src/*.c "$work"/src/src/*/*.c; do
    object="$work/obj/$(basename "${source%.c}").o"
    x86_64-w64-mingw32-gcc-posix -O2 -I"$work/src/inc" -I"$work/src/src" -c "$source" -o "$object" \
      2>>"$work/make.log" || return 1
    objects+=("$object")
  done
  rm -rf "$out" && mkdir -p "$out/lib" "$out/include" &&
    x86_64-w64-mingw32-ar cr "$out/lib/libbearssl.a" "${objects[@]}" &&
    x86_64-w64-mingw32-ranlib "$out/lib/libbearssl.a" &&
    cp "$work"/src/inc/*.h "$out/include/"
}

# Locales the end-to-end tests run the launcher under. Wine takes the user's
# default LCID from LC_ALL, but only for a locale that the machine has, and
# the language selection is tested with English, German and Swiss German.
# Japanese gives Wine the double-byte ANSI code page 932, whose second bytes
# include 0x5C, for the manifest splitting tests.
TEST_LOCALES=(en_US.UTF-8 de_DE.UTF-8 de_CH.UTF-8 ja_JP.UTF-8)

locale_present() { locale -a 2>/dev/null | grep -qixF "${1/UTF-8/utf8}"; }

provide_locales() {
  local missing=() l
  for l in "${TEST_LOCALES[@]}"; do locale_present "$l" || missing+=("$l"); done
  if [ ${#missing[@]} = 0 ]; then
    log "locales: all present"
    return
  fi
  log "locales: generating ${missing[*]}"
  for l in "${missing[@]}"; do
    if grep -q "^# *$l UTF-8\$" /etc/locale.gen; then
      $SUDO sed -i "s/^# *$l UTF-8\$/$l UTF-8/" /etc/locale.gen
    elif ! grep -q "^$l UTF-8\$" /etc/locale.gen; then
      echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
  done
  $SUDO locale-gen >/dev/null
}

install_packages
provide_locales
add_source_entries
mkdir -p "$CACHE_ROOT"
provide_from_source openssl openssl_dir_for lib64/libcrypto.a openssl-mingw64 libcrypto compile_libcrypto
provide_from_source libisal isal_dir_for lib/libisal_inflate.a isal-mingw64 "ISA-L's inflater" compile_isal
provide_from_source bearssl bearssl_dir_for lib/libbearssl.a bearssl-mingw64 BearSSL compile_bearssl
log "done"
