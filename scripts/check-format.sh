#!/usr/bin/env bash
# Checks every C and C++ source against .clang-format; with --fix, rewrites
# them in place instead. Exits non-zero naming each file that does not match.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h' 2>/dev/null ||
                     find skin monitor skinmaker tools tests include -name '*.c' -o -name '*.cpp' -o -name '*.h')
if [[ ${1:-} == --fix ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f (make format rewrites it)"
    bad=1
  fi
done
exit $bad
