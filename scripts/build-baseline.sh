#!/usr/bin/env bash
# Builds the 64-bit monitor.exe of an earlier revision, for benchmarks that
# measure it beside the current one in the same run.
#   scripts/build-baseline.sh REV OUT.exe
set -euo pipefail
rev=${1:?revision}
out=${2:?output exe}
top=$(git rev-parse --show-toplevel)
work=$(mktemp -d)
trap 'git -C "$top" worktree remove --force "$work/src" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
git -C "$top" worktree add --detach "$work/src" "$rev" >/dev/null
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/mingw-x86_64.cmake" -DTOVREL_DIST_DIR="$work/dist" >/dev/null
cmake --build "$work/build" --target monitor -j "$(nproc)" >/dev/null
mkdir -p "$(dirname "$out")"
cp "$work/dist/monitor.exe" "$out"
echo "$out"
