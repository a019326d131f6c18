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

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  cmd="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages. Run as root:" >&2
    echo "  $cmd" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine needs the Japanese locale to use code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "Missing the ja_JP.UTF-8 locale. Run as root: localedef -i ja_JP -f UTF-8 ja_JP.UTF-8" >&2
    exit 1
  fi
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
