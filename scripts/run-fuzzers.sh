#!/usr/bin/env bash
# run-fuzzers.sh BIN_DIR SECONDS: runs every fuzz_* in BIN_DIR for SECONDS each.
# A target's seed corpus is corpus/<target name without fuzz_> in a tests folder, when present.
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
shopt -s nullglob
for target in "$bin_dir"/fuzz_*; do
  [[ -x $target ]] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  for d in "$root"/tests/*/corpus/"${name#fuzz_}" "$root"/tests/*/*/corpus/"${name#fuzz_}"; do
    seeds+=("$d")
  done
  echo "== $name for ${seconds}s"
  if ! (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$work" "${seeds[@]}" >"$work/log" 2>&1); then
    tail -50 "$work/log"
    echo "FUZZ FAILED: $name"
    status=1
  else
    grep -E "^#[0-9]+.*DONE" "$work/log" | tail -1 || true
  fi
  rm -rf "$work"
done
exit $status
