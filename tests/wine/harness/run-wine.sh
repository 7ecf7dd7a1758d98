#!/usr/bin/env bash
# Runs a Windows test program under Wine in the project's prefix.
# Usage: run-wine.sh PREFIX PROGRAM [ARGS...]
# Keeps one wineserver and one Xvfb alive for the whole test run, so each
# program start costs milliseconds, not a second; scripts/test.sh ends them
# (the Xvfb by the pid recorded under build/pids).
set -euo pipefail
prefix=$1; shift
source "$(cd "$(dirname "$0")/../../.." && pwd)/scripts/lib/paths.sh"
source "$KESTRIN_ROOT/scripts/lib/xvfb.sh"
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

detach_wait() { ( without_fds; exec "$@" ) </dev/null >/dev/null 2>&1 || true; }

[ -n "${DISPLAY:-}" ] || xvfb_shared

# wineserver -p puts itself in the background (or exits when one runs).
detach_wait wineserver -p
# The first Wine process of a session starts the prefix's services, which
# inherit its standard handles and outlive it: let a detached one do that.
detach_wait wine cmd.exe /c exit
exec wine "$@"
