#!/usr/bin/env bash
# Runs every libFuzzer target in BIN_DIR, starting from the committed seed
# corpus, for SECONDS each, or with --runs N for N executions each (the long
# run). New inputs go to a scratch corpus beside BIN_DIR; with --merge, those
# that reach new code are then added to the committed corpus, which `make
# test` replays. Crashes are kept in the scratch folder. Prints executions,
# executions per second and wall time per target. A target's own libFuzzer
# flags, if it needs any, are in tests/fuzz/TARGET.flags (one line). A time
# limit there holds only for the long run: SECONDS holds for every target.
#   scripts/run-fuzz.sh BIN_DIR (SECONDS | --runs N) [--merge] [TARGET...]
set -euo pipefail

usage() { echo "usage: $0 BIN_DIR (SECONDS | --runs N) [--merge] [TARGET...]" >&2; exit 2; }
(($# >= 2)) || usage
bin_dir=$(cd "$1" && pwd)
shift
if [[ $1 == --runs ]]; then
  (($# >= 2)) || usage
  limit=(-runs="$2")
  what="$2 runs"
  timed=0
  shift 2
else
  limit=(-max_total_time="$1")
  what="$1 s"
  timed=1
  shift
fi
merge=0
if [[ ${1:-} == --merge ]]; then
  merge=1
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
work="$bin_dir/../fuzz-work"

shopt -s nullglob
targets=()
for exe in "$bin_dir"/fuzz_*; do
  name=$(basename "$exe")
  [[ -x $exe && $exe != *_replay ]] || continue
  if (($# > 0)) && [[ ! " $* " == *" $name "* ]]; then continue; fi
  targets+=("$exe")
done
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets in $bin_dir (configure with -DTOVREL_FUZZ=ON)" >&2
  exit 1
fi

failed=0
for exe in "${targets[@]}"; do
  name=$(basename "$exe")
  seeds="$root/tests/fuzz/corpus/$name"
  mkdir -p "$work/$name/corpus" "$work/$name/crashes" "$seeds"
  flags=()
  if [[ -f $root/tests/fuzz/$name.flags ]]; then
    read -r -a own <"$root/tests/fuzz/$name.flags"
    for flag in "${own[@]}"; do
      ((timed)) && [[ $flag == -max_total_time=* || $flag == -runs=* ]] && continue
      flags+=("$flag")
    done
  fi
  echo "== $name: $what ${flags[*]:-}"
  start=$(date +%s)
  if ! "$exe" "${flags[@]}" "${limit[@]}" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
       -artifact_prefix="$work/$name/crashes/" "$work/$name/corpus" "$seeds" \
       >"$work/$name/log.txt" 2>&1; then
    echo "FAILED: $name (see $work/$name/log.txt and $work/$name/crashes/)" >&2
    tail -n 30 "$work/$name/log.txt" >&2
    failed=1
    continue
  fi
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added' \
    "$work/$name/log.txt" | sed "s/^/   /"
  echo "   wall time: $(($(date +%s) - start)) s"
  if ((merge)); then
    before=$(ls "$seeds" | wc -l)
    "$exe" -merge=1 "$seeds" "$work/$name/corpus" >"$work/$name/merge.txt" 2>&1
    echo "   committed corpus: $before -> $(ls "$seeds" | wc -l) inputs"
  fi
done
exit $failed
