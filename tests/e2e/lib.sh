# Shared helpers of the end-to-end tests. Each test script sources this file.
set -euo pipefail

: "${MSISTUB_EXE:?}" "${WINE_RUN:?}"
E2E_TMP=$(mktemp -d "${MSISTUB_BUILD:-/tmp}/e2e.XXXXXX")
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no X display; run the tests under xvfb-run" >&2; exit 1; }

# Ends the Wine processes of the test's own prefix, if it made one.
stop_own_prefix() {
  if [ -n "${OWN_PREFIX:-}" ]; then WINEPREFIX="$OWN_PREFIX" wineserver -k >/dev/null 2>&1 || true; fi
}

finish() {
  stop_own_prefix
  rm -rf "$E2E_TMP"
}
trap finish EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

REPORT_EXIT_CODE="$MSISTUB_BUILD/tools/report_exit_code.exe"

# Runs the launcher (or any Windows program) with a time limit and prints its
# full exit code (Wine gives the shell only its low 8 bits). A launcher that
# waits on a box it should not show runs into the limit: "timeout".
run_with_limit() {
  local seconds="$1"; shift
  local output
  set +e
  output=$(timeout "$seconds" "$WINE_RUN" "$REPORT_EXIT_CODE" "$@" 2>/dev/null | tr -d '\r')
  local status=$?
  set -e
  if [ "$status" = 124 ]; then echo timeout; else echo "${output##*$'\n'}"; fi
}

# Waits up to $2 seconds for a top-level window whose title is exactly $1;
# prints its X window id.
wait_for_window() {
  local title="$1" seconds="${2:-30}" id=""
  for _ in $(seq 1 $((seconds * 4))); do
    id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.25
  done
  return 1
}

# Gives the test a Wine prefix of its own, a copy of a base prefix that the
# first test to ask makes under a lock, so that no test sees the registry
# entries, installed products or replaced programs of another. Sets DRIVE_C.
# Called again, it starts over with a fresh copy.
use_own_prefix() {
  local base="$MSISTUB_BUILD/e2e-base-prefix"
  "$MSISTUB_SOURCE/scripts/wine-prefix.sh" "$base"
  stop_own_prefix
  OWN_PREFIX="$E2E_TMP/prefix"
  rm -rf "$OWN_PREFIX"
  cp -a "$base" "$OWN_PREFIX"
  export WINEPREFIX="$OWN_PREFIX" MSISTUB_WINEPREFIX="$OWN_PREFIX"
  DRIVE_C="$OWN_PREFIX/drive_c"
  # Wine links Desktop, Documents and the like to the Linux home folder: made
  # real folders here, whatever the launcher puts there stays in the prefix.
  local link
  for link in "$DRIVE_C"/users/*/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
  done
  # The copy keeps the base's access times, so the first listing of a folder
  # changes its access time. Wine's shell puts that time into a folder's item
  # id, and the folder browser then fails to find a folder it listed before:
  # list every folder once now.
  find "$DRIVE_C" >/dev/null
  # One server and one desktop for the whole test. Otherwise each run starts
  # both anew, and a launcher and a driver that start together race to make
  # the desktop: under load they can end up on different ones, and the driver
  # then never sees the launcher's box.
  wineserver -p
  "$WINE_RUN" "$DRIVER" --timeout 0 wait-gone message >/dev/null 2>&1 || true
}

# Puts test-msiexec.exe in place of system32\msiexec.exe; Wine starts the
# file only when told to prefer it to its built-in program. What it received
# lands in $INSTALLER_LOG, one command line per run.
use_test_installer() {
  cp "$MSISTUB_BUILD/tools/test-msiexec.exe" "$DRIVE_C/windows/system32/msiexec.exe"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;msiexec.exe=n,b"
  export MSISTUB_TEST_INSTALLER_LOG='C:\installer.log'
  INSTALLER_LOG="$DRIVE_C/installer.log"
}

# make_msi NAME PRODUCT_CODE LANGUAGE FILE [EXTRA_FILE]: a real x64 MSI with
# its external cabinet, in $E2E_TMP/msi; EXTRA_FILE is installed too.
make_msi() {
  bash "$MSISTUB_SOURCE/scripts/make-demo-msi.sh" "$E2E_TMP/msi" "$@" >/dev/null
}

# pack_setup OUT MSI_FILE... [-- PACK_OPTIONS...]: packs MSIs of $E2E_TMP/msi
# into the setup file OUT with the development key.
pack_setup() {
  local out="$1"; shift
  local msis=() options=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do msis+=("$E2E_TMP/msi/$1"); shift; done
  [ $# -gt 0 ] && shift && options=("$@")
  "${MSISTUB_PACK:?}" pack --stub "$MSISTUB_EXE" --key "$MSISTUB_DEV_PRIVATE_KEY" --out "$out" --force \
    "${options[@]}" "${msis[@]}" >/dev/null
}

UNINSTALL_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

# Registers a product as an installation would: an UninstallString under its
# Uninstall key in the 64-bit view.
register_product() {
  "$WINE_RUN" reg add "$UNINSTALL_KEY\\$1" /v UninstallString /d "MsiExec.exe /X$1" /f /reg:64 >/dev/null 2>&1
}

# Prints the product's UninstallString; fails when there is none.
uninstall_string() {
  local line
  line=$("$WINE_RUN" reg query "$UNINSTALL_KEY\\$1" /v UninstallString /reg:64 2>/dev/null | tr -d '\r' |
    grep UninstallString) || return 1
  echo "${line#*REG_*SZ    }"
}

DRIVER="$MSISTUB_BUILD/msistub-driver.exe"

# run_with_box SECONDS PROGRAM [ARGUMENTS...]: runs the launcher, waits for its
# message box, writes the box's caption and text (UTF-8) to $E2E_TMP/box,
# presses OK and prints the launcher's exit code. Fails when no box appears,
# and then tells on stderr how the launcher ended and what the driver said.
run_with_box() {
  local seconds="$1"; shift
  run_with_limit "$seconds" "$@" > "$E2E_TMP/box-code" &
  local launcher=$!
  if ! "$WINE_RUN" "$DRIVER" --timeout "$seconds" message 2> "$E2E_TMP/box-driver" | tr -d '\r' \
      > "$E2E_TMP/box" || [ ! -s "$E2E_TMP/box" ]; then
    wait "$launcher" || true
    echo "no box: the launcher ended with exit code '$(cat "$E2E_TMP/box-code")';" \
      "the driver said: $(tr -d '\r' < "$E2E_TMP/box-driver" | tail -n 5)" >&2
    return 1
  fi
  "$WINE_RUN" "$DRIVER" press ok >/dev/null 2>&1
  wait "$launcher"
  cat "$E2E_TMP/box-code"
}
