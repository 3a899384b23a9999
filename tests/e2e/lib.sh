# Shared helpers of the end-to-end tests. Each test script sources this file.
set -euo pipefail

: "${MSISTUB_EXE:?}" "${WINE_RUN:?}"
E2E_TMP=$(mktemp -d "${MSISTUB_BUILD:-/tmp}/e2e.XXXXXX")
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no X display; run the tests under xvfb-run" >&2; exit 1; }
trap 'rm -rf "$E2E_TMP"' EXIT

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
