#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz": clang, libFuzzer, AddressSanitizer,
# UBSan) and runs them for longer than the CI does. Each target's corpus is
# kept in BUILD_DIR/fuzz/runs/<target>/corpus and grows from run to run;
# findings land in BUILD_DIR/fuzz/runs/<target>/artifacts.
#
#   scripts/fuzz.sh [-B BUILD_DIR] [-t SECONDS_PER_TARGET] [TARGET...]
#
# Targets: read_entry manifest certificate_table command_line (default: all).
# Re-run one finding with: BUILD_DIR/fuzz/fuzz_<target> ARTIFACT
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
seconds=600
while getopts "B:t:" option; do
  case "$option" in
    B) build=$OPTARG ;;
    t) seconds=$OPTARG ;;
    *) sed -n '2,12p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2

declare -A max_len
while read -r name limit; do
  case "$name" in ''|'#'*) continue ;; esac
  max_len[$name]=$limit
done < fuzz/targets.txt

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(read_entry manifest certificate_table command_line)
failed=()
for target in "${targets[@]}"; do
  [ -n "${max_len[$target]:-}" ] || { echo "unknown fuzz target: $target" >&2; exit 2; }
  printf '\n=== fuzz_%s for %s s\n' "$target" "$seconds"
  if ! bash fuzz/run_fuzzer.sh "$build/fuzz/fuzz_$target" "$build/fuzz/seeds/$target" \
      "$build/fuzz/runs/$target" "$seconds" "${max_len[$target]}"; then
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (inputs under $build/fuzz/runs/<target>/artifacts)" >&2
  exit 1
fi
echo "no findings"
