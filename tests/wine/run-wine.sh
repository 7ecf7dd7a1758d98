#!/usr/bin/env bash
# Runs a Windows test program under Wine in the project's prefix.
# Usage: run-wine.sh PREFIX PROGRAM [ARGS...]
# Keeps one wineserver and one Xvfb alive for the whole test run, so each
# program start costs milliseconds, not a second; scripts/test.sh ends them.
set -eu
prefix=$1; shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ -z "${DISPLAY:-}" ]; then
  display=${KESTRIN_DISPLAY:-:97}
  export DISPLAY=$display
  (
    flock 9
    if ! xdpyinfo >/dev/null 2>&1; then
      Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 9>&- &
      for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    fi
  ) 9>"/tmp/kestrin-xvfb${display#:}.lock"
fi

# Its output must not hold the caller's pipes open (ctest waits for them).
wineserver -p >/dev/null 2>&1 </dev/null 9>&- || true
exec wine "$@"
