#!/usr/bin/env bash
# Installs everything msistub needs on a Debian 12 machine and builds a static
# OpenSSL libcrypto for MinGW-w64 from Debian's own source package, with its
# assembly enabled (SHA-256 runs several times faster than the C build). Safe
# to run again: packages already present and a cached libcrypto are skipped.
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

# Versions of the openssl source package the archive lists, newest first.
served_versions() {
  apt-cache showsrc openssl 2>/dev/null | sed -n 's/^Version: //p' | sort -u -r -V
}

# Configures with the mingw64 target (perlasm for x86_64, GNU as) and builds
# only libcrypto.a; the headers come from the build tree.
compile_libcrypto() {
  local work="$1" out="$2"
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

build_dir_for() { printf '%s/openssl-mingw64-%s' "$CACHE_ROOT" "$1"; }

link_cached() {
  ln -sfn "$(build_dir_for "$1")" "$CACHE_ROOT/openssl-mingw64"
  log "libcrypto for MinGW-w64: openssl $1 (cached in $(build_dir_for "$1"))"
}

# Builds libcrypto.a for MinGW-w64 from the given source version. Returns 1
# when the archive does not serve that version's files in full.
build_openssl() {
  local version="$1" work prefix
  work=$(mktemp -d)
  prefix=$(build_dir_for "$version")
  log "fetching the openssl $version source package"
  if ! (cd "$work" && apt-get source -q --download-only "openssl=$version" >/dev/null 2>&1 &&
        ls "$work"/*.dsc >/dev/null 2>&1); then
    log "openssl $version: the archive does not serve its files in full, trying an older one"
    rm -rf "$work"
    return 1
  fi
  (cd "$work" && dpkg-source -x ./*.dsc src >/dev/null)
  log "building libcrypto (openssl $version) for MinGW-w64 with assembly; this takes a few minutes"
  if ! (compile_libcrypto "$work" "$prefix.tmp"); then
    log "the openssl build failed; logs in $work"
    return 2
  fi
  rm -rf "$prefix"
  mv "$prefix.tmp" "$prefix"
  rm -rf "$work"
}

provide_openssl() {
  mkdir -p "$CACHE_ROOT"
  local versions v
  versions=$(served_versions)
  [ -n "$versions" ] || { log "apt lists no openssl source package"; exit 1; }
  for v in $versions; do
    if [ -f "$(build_dir_for "$v")/lib64/libcrypto.a" ]; then
      link_cached "$v"
      return
    fi
  done
  for v in $versions; do
    if build_openssl "$v"; then
      link_cached "$v"
      return
    elif [ $? = 2 ]; then
      exit 1
    fi
  done
  log "no openssl source version could be fetched in full"
  exit 1
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
provide_openssl
log "done"
