#!/usr/bin/env bash
# Installs what building, running and testing Kestrin needs on Debian 12 and
# makes the project's own Wine prefix. Idempotent; quick when nothing is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${KESTRIN_WINEPREFIX:-$here/build/wineprefix}

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev python3
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  libgtest-dev googletest
  wine wine32:i386 fonts-wine xvfb xauth x11-utils xdotool imagemagick
  chrony ntpsec-ntpdig toybox iproute2 procps nsis
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "setup: run as root to install: ${missing[*]}" >&2; exit 1; }
  echo "setup: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # Daemon packages (chrony) must never start a service that could move the clock.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# An installed chrony may have been started by an earlier setup without the
# policy file; stop it so nothing here ever steers the host clock.
pkill -x chronyd 2>/dev/null || true

if [ ! -f "$prefix/system.reg" ]; then
  echo "setup: creating Wine prefix $prefix"
  mkdir -p "$prefix"
  # No Mono or Gecko prompts: those components are switched off.
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= \
    wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w || true
fi
