#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is missing.
# Running it again is harmless. Without root it prints the apt command instead.
set -euo pipefail

packages=(
  cmake make g++ googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev clang-format
  g++-i686-linux-gnu libc6-dev-i386-cross
  wine wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  xvfb xdotool x11-utils imagemagick fonts-ipafont-gothic locales python3
)

need_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing $1. Run as root:" >&2
    echo "  $2" >&2
    exit 1
  fi
}

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  need_root packages "apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing "${packages[@]}"

# 32-bit x86 Linux programs (the 32-bit unit tests) run directly where the
# kernel can, and under qemu's user-mode emulator where it cannot.
runner=$("$(dirname "$0")/i686-runner.sh" "${BUILD:-build}" 2>/dev/null)
[[ $runner == direct ]] || install_missing qemu-user

# 32-bit Wine runs the win32 release, only where the kernel runs i686
# programs. It needs the i386 architecture; where apt cannot resolve wine32
# there, the architecture is taken away again so nothing else breaks.
# TOVREL_WINE32=0 leaves it out.
install_wine32() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "32-bit Wine is missing, so the win32 tests will be skipped. To add it, as root:" >&2
    echo "  dpkg --add-architecture i386 && apt-get update && apt-get install -y wine32:i386" >&2
    return 0
  fi
  echo "Installing 32-bit Wine (wine32:i386; TOVREL_WINE32=0 leaves it out)"
  local added=
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    added=1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null && return 0
  echo "32-bit Wine could not be installed here; the win32 tests will be skipped" >&2
  if [[ -n $added ]] && ! dpkg -l | awk '$1 == "ii" && $4 == "i386"' | grep -q .; then
    dpkg --remove-architecture i386 && apt-get update -qq
  fi
}
if [[ $runner == direct && ${TOVREL_WINE32:-1} != 0 && ! -x /usr/lib/wine/wine ]]; then install_wine32; fi

# Wine needs the Japanese locale to use code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing the ja_JP.UTF-8 locale. Run as root: localedef -i ja_JP -f UTF-8 ja_JP.UTF-8" >&2
    exit 1
  fi
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
