#!/usr/bin/env bash
# Runs one fuzz target for a bounded time, starting from its seed corpus.
#
#   run_fuzzer.sh [--fresh] FUZZER SEED_DIR WORK_DIR SECONDS MAX_LEN [libFuzzer options...]
#
# The corpus grows in WORK_DIR/corpus from run to run unless --fresh starts it
# again from the seeds (as the CTest entries do, so every CI run is alike).
# A finding stops the run with a non-zero exit code and leaves the input in
# WORK_DIR/artifacts.
set -euo pipefail

fresh=0
if [ "${1:-}" = --fresh ]; then fresh=1; shift; fi
[ $# -ge 5 ] || { echo "usage: run_fuzzer.sh [--fresh] FUZZER SEED_DIR WORK_DIR SECONDS MAX_LEN [options...]" >&2; exit 2; }
fuzzer=$1 seeds=$2 work=$3 seconds=$4 max_len=$5
shift 5

[ -d "$seeds" ] || { echo "no seed corpus at $seeds; build the fuzz targets first" >&2; exit 2; }
[ "$fresh" = 1 ] && rm -rf "$work/corpus"
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$seeds"/* "$work/corpus/"

# A dictionary of the format's tokens, fuzz/<target>.dict, helps the mutator
# past checks that random bytes rarely pass.
dict=()
target=$(basename "$fuzzer")
[ -f "$(dirname "$0")/${target#fuzz_}.dict" ] && dict=(-dict="$(dirname "$0")/${target#fuzz_}.dict")

# -timeout catches an input that hangs; -rss_limit_mb (and the malloc limit
# that follows it) one that asks for unbounded memory.
exec "$fuzzer" "${dict[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len="$max_len" -timeout=10 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$@" "$work/corpus"
