# Shared helpers of the end-to-end tests. Each test script sources this file.
set -euo pipefail

: "${MSISTUB_EXE:?}" "${WINE_RUN:?}"
E2E_TMP=$(mktemp -d "${MSISTUB_BUILD:-/tmp}/e2e.XXXXXX")
trap 'rm -rf "$E2E_TMP"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# Runs the launcher (or any Windows program) with a time limit; prints its
# exit code. A launcher that waits on a box it should not show runs into the
# limit and is reported as 124.
run_with_limit() {
  local seconds="$1"; shift
  set +e
  timeout "$seconds" "$WINE_RUN" "$@" >/dev/null 2>&1
  local code=$?
  set -e
  echo "$code"
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
