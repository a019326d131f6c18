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
if scripts/check-format.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

run_ctest "$BUILD/native" "native unit tests"
# How make ran the 32-bit x86 build: directly, under an emulator, or not.
how=$(cat "$BUILD/native32.how" 2>/dev/null || echo "none: make has not built it")
case $how in
  none:*)
    echo "== native unit tests, 32-bit x86: not run (${how#none: })"
    failed=$((failed + 1))
    ;;
  direct)
    echo "32-bit x86 tests run directly: the kernel runs i686 programs"
    run_ctest "$BUILD/native32" "native unit tests, 32-bit x86"
    ;;
  *)
    echo "32-bit x86 tests run under $how: the kernel cannot run i686 programs"
    run_ctest "$BUILD/native32" "native unit tests, 32-bit x86 (under qemu-i386)"
    ;;
esac
run_ctest "$BUILD/asan" "native unit tests under ASan and UBSan"

# run_wine PROGRAMS [TEST...]: the end-to-end tests against dist/PROGRAMS.
run_wine() {
  local programs=$1 summary p f
  shift
  summary=$(mktemp)
  TOVREL_BUILD="$BUILD" TOVREL_DIST="$DIST" TOVREL_PROGRAMS="$programs" TOVREL_SUMMARY="$summary" \
    timeout -k 30 3600 python3 tests/wine/run.py "$@"
  if [[ -s $summary ]]; then
    read -r p f <"$summary"
    passed=$((passed + p))
    failed=$((failed + f))
  else
    echo "the Wine run ended without a result"
    failed=$((failed + 1))
  fi
  rm -f "$summary"
}

echo "== end-to-end tests under Wine"
run_wine win64

# The 32-bit release, where 32-bit Wine can run it: start, reception and
# log.txt, doutsend, a skin change, the settings dialog's OK, exit with
# sys.ini written.
if [[ $how != direct ]]; then
  echo "== win32 programs under Wine: skipped, the kernel cannot run 32-bit programs (or TOVREL_NO_IA32=1 says so)"
elif [[ ! -x /usr/lib/wine/wine ]]; then
  echo "== win32 programs under Wine: skipped, 32-bit Wine (wine32:i386) is not installed"
else
  echo "== win32 programs under Wine"
  run_wine win32 test_first_run_writes_the_defaults_at_exit test_long_message_is_taken_whole_and_logged_in_full \
    test_words_are_one_message_with_crlf test_skin_command_applies_a_skin_file_and_keeps_its_path \
    test_ok_applies_every_change_at_once_and_saves_it test_each_string_shows_once_in_order
fi

echo "$passed passed, $failed failed"
((failed == 0))
