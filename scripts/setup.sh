#!/usr/bin/env bash
# Installs what building, running and testing Kestrin needs on Debian 12,
# unpacks the NTP servers the tests run under build/ and makes the project's
# own Wine prefix. Leaves the machine's services as they were; quick when
# nothing is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/lib/paths.sh"
source "$here/scripts/lib/tlssource.sh"
prefix=${KESTRIN_WINEPREFIX:-$KESTRIN_BUILD/wineprefix}

# No package here runs a service. chronyd and ntpsec's ntpd are unpacked
# from their packages below instead: installing those packages would start
# a time daemon at boot and make apt remove the machine's own.
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev python3
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  libgtest-dev googletest
  wine wine32:i386 fonts-wine xvfb xauth x11-utils xdotool imagemagick
  ntpsec-ntpdig toybox iproute2 procps util-linux nsis
  faketime  # a build machine's clock a year ahead (the time floor's test)
  # what the unpacked chronyd and ntpd load
  libcap2 libedit2 libgnutls30 libnettle8 libseccomp2 libbsd0 libssl3
  gnuplot-nox  # charts of bench/run.sh only
  bzip2 openssl  # the TLS library's source tarball; the NTS tests' certificates
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done

need_root() {
  [ "$(id -u)" -eq 0 ] || { echo "setup: run as root to $1" >&2; exit 1; }
}

lists_updated=0
lists_partial=0
apt_update() {
  [ "$lists_updated" = 1 ] && return 0
  echo "setup: apt-get update"
  # A mirror caught mid-sync fails one index for a minute or so: try again
  # before giving up, and go on with what did arrive (the install then says
  # what is missing, if anything).
  local attempt
  for attempt in 1 2 3; do
    apt-get update && break
    if [ "$attempt" = 3 ]; then
      echo "setup: apt-get update failed; going on with the lists as they are" >&2
      lists_partial=1
      break
    fi
    echo "setup: apt-get update failed; trying again in $((attempt * 20)) s" >&2
    sleep $((attempt * 20))
  done
  lists_updated=1
}

if [ ${#missing[@]} -gt 0 ]; then
  need_root "install: ${missing[*]}"
  echo "setup: installing ${#missing[@]} Debian packages (with what they need; a few minutes" \
       "on a fresh machine): ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # No package may start a service while we install; the file stays only
  # for this install, and one that was there before is left alone.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\n# Put here by Kestrin scripts/setup.sh for one install.\nexit 101\n' \
      > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  apt_update
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"; then
    # With one architecture's update list missing, the i386 and amd64 halves
    # of a library can no longer agree on a version: take the release's own
    # versions, which both architectures' lists hold.
    [ "$lists_partial" = 1 ] || exit 1
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "setup: installing again with the versions of '$release' itself" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      -o APT::Default-Release="$release" "${missing[@]}"
  fi
  if [ -n "$(trap -p EXIT)" ]; then
    rm -f /usr/sbin/policy-rc.d
    trap - EXIT
  fi
fi

# The NTP servers: Debian's packages unpacked under build/ntp, run from
# there only by the project's scripts (always without clock control).
for pkg in "${KESTRIN_NTP_PACKAGES[@]}"; do
  [ -f "$KESTRIN_NTP/$pkg.unpacked" ] && continue
  mkdir -p "$KESTRIN_NTP/debs"
  rm -f "$KESTRIN_NTP/debs/${pkg}_"*.deb
  echo "setup: unpacking Debian's $pkg under ${KESTRIN_NTP#"$here/"} (not installed as a service)"
  if ! (cd "$KESTRIN_NTP/debs" && apt-get download "$pkg" 2>/dev/null); then
    need_root "fetch the package lists for $pkg"
    apt_update
    (cd "$KESTRIN_NTP/debs" && apt-get download "$pkg")
  fi
  rm -rf "${KESTRIN_NTP:?}/$pkg"
  dpkg -x "$KESTRIN_NTP/debs/${pkg}_"*.deb "$KESTRIN_NTP/$pkg"
  touch "$KESTRIN_NTP/$pkg.unpacked"
done
# The TLS library the NTS DLL is built on: source only, built by CMake.
tls_source

"$CHRONYD" -v >/dev/null || { echo "setup: $CHRONYD does not run" >&2; exit 1; }

if [ ! -f "$prefix/system.reg" ]; then
  echo "setup: creating the Wine prefix $prefix (about a minute)"
  mkdir -p "$prefix"
  # No Mono or Gecko prompts: those components are switched off.
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    DISPLAY= wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w || true
fi
# Wine's menu builder stays off in this prefix and every copy of it, so
# nothing run here adds entries to the desktop's menus.
if ! grep -q '^"winemenubuilder.exe"=""' "$prefix/user.reg" 2>/dev/null; then
  WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
    DISPLAY= wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d "" /f \
    >/dev/null 2>&1 || true
  # Written to disk when the server ends; one a test run left running (it
  # ends with that run) has the value already and saves it by itself.
  WINEPREFIX=$prefix timeout 20 wineserver -w || true
fi
