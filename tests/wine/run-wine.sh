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

# Starts a long-lived server with no descriptor of ours: ctest waits until
# every holder of its output pipes has gone.
without_fds() {
  for fd in /proc/$BASHPID/fd/*; do
    fd=${fd##*/}
    [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-"
  done
  exec "$@"
}
detach() { ( without_fds "$@" ) </dev/null >/dev/null 2>&1 & }
detach_wait() { ( without_fds "$@" ) </dev/null >/dev/null 2>&1 || true; }

if [ -z "${DISPLAY:-}" ]; then
  display=${KESTRIN_DISPLAY:-:97}
  export DISPLAY=$display
  (
    flock 9
    if ! xdpyinfo >/dev/null 2>&1; then
      detach Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp
      for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    fi
  ) 9>"/tmp/kestrin-xvfb${display#:}.lock"
fi

# wineserver -p puts itself in the background (or exits when one runs).
detach_wait wineserver -p
# The first Wine process of a session starts the prefix's services, which
# inherit its standard handles and outlive it: let a detached one do that.
detach_wait wine cmd.exe /c exit
exec wine "$@"
