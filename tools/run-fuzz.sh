#!/usr/bin/env bash
# Runs every libFuzzer target in BIN_DIR for SECONDS each, starting from the
# committed seed corpus. New inputs go to a scratch corpus beside BIN_DIR, so
# the committed seeds change only by hand; crashes are kept there as well.
#   tools/run-fuzz.sh BIN_DIR SECONDS
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 BIN_DIR SECONDS" >&2
  exit 2
fi
bin_dir=$(cd "$1" && pwd)
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
work="$bin_dir/../fuzz-work"

shopt -s nullglob
targets=()
for exe in "$bin_dir"/fuzz_*; do
  [[ -x $exe && $exe != *_replay ]] && targets+=("$exe")
done
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets in $bin_dir (configure with -DTOVREL_FUZZ=ON)" >&2
  exit 1
fi

failed=0
for exe in "${targets[@]}"; do
  name=$(basename "$exe")
  seeds="$root/tests/fuzz/corpus/$name"
  mkdir -p "$work/$name/corpus" "$work/$name/crashes"
  echo "== $name: ${seconds}s"
  if ! "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="$work/$name/crashes/" "$work/$name/corpus" "$seeds" \
       >"$work/$name/log.txt" 2>&1; then
    echo "FAILED: $name (see $work/$name/log.txt and $work/$name/crashes/)" >&2
    tail -n 30 "$work/$name/log.txt" >&2
    failed=1
  else
    grep -E 'stat::number_of_executed_units|stat::new_units_added' "$work/$name/log.txt" | sed "s/^/   /"
  fi
done
exit $failed
