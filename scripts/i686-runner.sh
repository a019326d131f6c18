#!/usr/bin/env bash
# Says how this machine runs 32-bit x86 Linux programs, on one line:
#   direct          the kernel runs them
#   /path/qemu-i386 only under qemu's user-mode emulator
#   none            neither (the reason follows on stderr)
# Some kernels are built without IA32 emulation. TOVREL_NO_IA32=1 makes the
# kernel's answer "no", to try the other paths on a machine that has it.
#   scripts/i686-runner.sh [PROBE_DIR]
set -u
dir=${1:-${TMPDIR:-/tmp}}
mkdir -p "$dir"
probe=$dir/i686-probe
if [[ ! -x $probe ]]; then
  if ! command -v i686-linux-gnu-gcc >/dev/null 2>&1; then
    echo none
    echo "no i686-linux-gnu-gcc to build the probe with" >&2
    exit 0
  fi
  printf 'int main(void) { return sizeof(void*) == 4 ? 0 : 1; }\n' >"$probe.c"
  if ! i686-linux-gnu-gcc -static -o "$probe" "$probe.c" 2>/dev/null; then
    echo none
    echo "i686-linux-gnu-gcc could not link a static program" >&2
    exit 0
  fi
fi

if [[ ${TOVREL_NO_IA32:-0} != 1 ]] && "$probe" 2>/dev/null; then
  echo direct
  exit 0
fi
qemu=$(command -v qemu-i386 2>/dev/null)
if [[ -n $qemu ]] && "$qemu" "$probe" 2>/dev/null; then
  echo "$qemu"
  exit 0
fi
echo none
if [[ -n $qemu ]]; then
  echo "the kernel cannot run i686 programs and qemu-i386 failed on one" >&2
else
  echo "the kernel cannot run i686 programs and qemu-i386 (package qemu-user) is missing" >&2
fi
exit 0
