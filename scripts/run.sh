#!/usr/bin/env bash
# Builds Kestrin and runs it under Wine.
#
#   scripts/run.sh [--server NAME] [--demo] [switches...]
#
# --server NAME  writes NAME as the time server into the prefix's KESTRIN.INI
#                and runs the program in the project's prefix against it
#                (--server "": none, back to the local server).
# switches       go on the program's command line (-d -s -i -u -b -h -v).
# With no server given or configured, the program runs against a local
# chronyd (-x and no clock capability: it never touches the clock) in a
# private network namespace, known to the program as "timeserver", in a copy
# of the prefix: the status line shows "Last set: ... Delta: ...".
# With a reachable $DISPLAY the window opens there and the script waits for
# the program to end. Without one the program runs on a private Xvfb, where
# Wine draws the window frame itself; once the status line shows a set (or
# after 45 s) build/screenshot.png is saved and the program is closed.
# --demo: the same local server, the program with -s, every status text
# printed, then the INI.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

server= server_given=0 demo=0 switches=()
while [ $# -gt 0 ]; do
  case $1 in
    --server) [ $# -ge 2 ] || { echo "run: --server needs a name" >&2; exit 64; }
              server=$2 server_given=1; shift 2 ;;
    --demo) demo=1; shift ;;
    *) switches+=("$1"); shift ;;
  esac
done

# KESTRIN_RUN_NO_BUILD=1 with KESTRIN_EXE and KESTRIN_DRIVER runs a program
# built elsewhere.
if [ "${KESTRIN_RUN_NO_BUILD:-0}" != 1 ]; then
  scripts/setup.sh
  scripts/build.sh --run
fi
source "$here/scripts/lib/netns.sh"
source "$here/scripts/lib/ini.sh"
exe=${KESTRIN_EXE:-$here/dist/kestrin.exe}
driver=${KESTRIN_DRIVER:-$here/build/win32/ui/app_driver.exe}
[ -f "$exe" ] || { echo "run: dist/kestrin.exe was not built" >&2; exit 1; }
prefix=${KESTRIN_WINEPREFIX:-$KESTRIN_BUILD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# local_server TAG: chronyd as "timeserver" in one private namespace, the
# "client" namespace joined to it, and a copy of the prefix whose wineserver
# lives in the client namespace (Wine makes its sockets there).
local_server() {
  export NS_PREFIX=kst-run
  [ "$(id -u)" -eq 0 ] || { echo "run: the local time server needs root (network namespaces);" \
    "run as root, or give a server with --server NAME" >&2; exit 77; }
  [ "$headless" = 1 ] || KEEP_DISPLAY=1
  run_begin "$1"
  net_create 65 client server
  net_hosts client "${ADDR[server]} timeserver"
  printf 'nameserver 127.0.0.1\n' > "/etc/netns/$(nsname client)/resolv.conf"
  chrony_server chronyd server
  chrony_ready client "${ADDR[server]}" 30
  log "chronyd -x serves ${ADDR[server]} (\"timeserver\"); Kestrin runs in $(nsname client)"
  wine_prepare client "$prefix"
  wine_fonts
  ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
  ini_set "$ini" NTPServer timeserver
  inns=(nsx client)
}

# screenshot: waits for a set (45 s at most), saves the frame, caption and
# all, to build/screenshot.png, prints the status line and presses Escape.
screenshot() {
  local rect status
  if ! rect=$("${inns[@]}" timeout 60 wine "$driver" rect 45 | tr -d '\r'); then
    echo "run: no window appeared (started hidden?); taking the whole screen" >&2
    import -window root build/screenshot.png
    return 0
  fi
  status=$("${inns[@]}" timeout 60 wine "$driver" wait-status "Last set" 45 | tr -d '\r') ||
    echo "run: no set within 45 s" >&2
  window_shot "$rect" build/screenshot.png
  echo "run: screenshot saved to build/screenshot.png"
  echo "run: status line: $status"
  "${inns[@]}" wine "$driver" escape >/dev/null || true
}

inns=() headless=1
[ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 && headless=0
ini=$prefix/drive_c/windows/KESTRIN.INI
[ "$server_given" = 1 ] && ini_set "$ini" NTPServer "$server"

# 1. --demo: the local server, the program with -s; -d 3 holds the first
# request back three seconds, so the watcher is in place.
if [ "$demo" = 1 ]; then
  local_server demo
  wine_spawn kestrin client "$exe" -s -d 3 "${switches[@]}"
  nsx client timeout 60 wine "$driver" watch 45 | tr -d '\r' || true
  wait "$LAST_PID" && log "Kestrin ended (status 0)" || log "Kestrin ended with status $?"
  ini_show "$ini"
  exit 0
fi

# 2. No server configured: the local server, in a window on $DISPLAY or
# pictured on a private X server.
if [ -z "$(ini_get "$ini" NTPServer)" ]; then
  local_server run
  [ "$headless" = 1 ] && wine_unmanaged client
  wine_spawn kestrin client "$exe" "${switches[@]}"
  [ "$headless" = 1 ] && screenshot
  wait "$LAST_PID" || true
  ini_show "$ini"
  exit 0
fi

# 3. A server of the user's, in a window on $DISPLAY: the project's prefix
# on the machine's network.
export WINEPREFIX=$prefix
if [ "$headless" = 0 ]; then
  wine "$exe" "${switches[@]}" || true
  ini_show "$ini"
  exit 0
fi

# 4. A server of the user's, pictured on a private X server.
kestrin=
cleanup() {
  set +e
  [ -n "$kestrin" ] && kill "$kestrin" 2>/dev/null
  wine_unmanaged "" undo
  wineserver -k 2>/dev/null
  xvfb_stop run-xvfb
}
trap cleanup EXIT
unset DISPLAY
xvfb_start run-xvfb
wine_unmanaged ""
wine "$exe" "${switches[@]}" &
kestrin=$!
screenshot
for _ in $(seq 100); do kill -0 "$kestrin" 2>/dev/null || break; sleep 0.1; done
kestrin=
ini_show "$ini"
