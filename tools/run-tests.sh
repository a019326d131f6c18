#!/usr/bin/env bash
# Runs every test: the source formatting check, the native unit tests and
# fuzz-corpus replays (plain, at 32 bits, then under AddressSanitizer and
# UBSan), then the end-to-end tests of the real Windows programs under Wine.
# Ends with the line "N passed, N failed".
set -u
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
DIST=${DIST:-dist}
passed=0
failed=0

# ctest prints "NN% tests passed, F tests failed out of T".
run_ctest() {
  local dir=$1 label=$2 log
  log=$(mktemp)
  echo "== $label"
  ctest --test-dir "$dir" -j 2 --timeout 600 --output-on-failure >"$log" 2>&1
  grep -E '^(The following tests FAILED|[[:space:]]+[0-9]+ - )|tests passed' "$log"
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [[ -z $line ]]; then
    echo "$label: no result (see below)"
    tail -n 40 "$log"
    failed=$((failed + 1))
  else
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
    ((f)) && sed -n '/Output from these tests\|\*\*\*Failed\|FAILED\|Assertion\|ERROR: AddressSanitizer\|runtime error/p' "$log" | head -n 60
  fi
  rm -f "$log"
}

echo "== source formatting"
if tools/check-format.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

run_ctest "$BUILD/native" "native unit tests"
run_ctest "$BUILD/native32" "native unit tests, 32-bit x86"
run_ctest "$BUILD/asan" "native unit tests under ASan and UBSan"

echo "== end-to-end tests under Wine"
summary=$(mktemp)
TOVREL_BUILD="$BUILD" TOVREL_DIST="$DIST" TOVREL_SUMMARY="$summary" \
  timeout -k 30 3600 python3 tests/wine/run.py
if [[ -s $summary ]]; then
  read -r p f <"$summary"
  passed=$((passed + p))
  failed=$((failed + f))
else
  echo "the Wine run ended without a result"
  failed=$((failed + 1))
fi
rm -f "$summary"

echo "$passed passed, $failed failed"
((failed == 0))
