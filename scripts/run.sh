#!/usr/bin/env bash
# Builds Kestrin and runs it under Wine in the project's prefix.
#
#   scripts/run.sh [--server NAME] [--demo] [switches...]
#
# --server NAME  writes NAME as the time server into the prefix's KESTRIN.INI.
# switches       go on the program's command line (-d -s -i -u -b -h -v).
# With a reachable $DISPLAY the window opens there and the script waits for
# the program to end. Without one the program runs on a private Xvfb; after
# a few seconds build/screenshot.png is saved and the program is closed.
# --demo needs no internet: chronyd (-x: it never touches the clock) serves
# the time in one private network namespace, Kestrin runs with -s in a
# second one joined to it; the status texts and the INI are printed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

server= demo=0 switches=()
while [ $# -gt 0 ]; do
  case $1 in
    --server) [ $# -ge 2 ] || { echo "run: --server needs a name" >&2; exit 64; }
              server=$2; shift 2 ;;
    --demo) demo=1; shift ;;
    *) switches+=("$1"); shift ;;
  esac
done

# KESTRIN_RUN_NO_BUILD=1 with KESTRIN_EXE and KESTRIN_DRIVER runs a program
# built elsewhere.
if [ "${KESTRIN_RUN_NO_BUILD:-0}" != 1 ]; then
  scripts/setup.sh
  scripts/build.sh --windows-only
fi
exe=${KESTRIN_EXE:-$here/dist/kestrin.exe}
driver=${KESTRIN_DRIVER:-$here/build/win32/ui/app_driver.exe}
[ -f "$exe" ] || { echo "run: dist/kestrin.exe was not built" >&2; exit 1; }
prefix=${KESTRIN_WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# set_server INI NAME: NAME as NTPServer in section [KESTRIN], the other
# keys kept.
set_server() {
  python3 - "$1" "$2" <<'PY'
import os, sys
path, name = sys.argv[1], sys.argv[2]
lines = []
if os.path.exists(path):
    with open(path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
out, section, done = [], None, False
for line in lines:
    s = line.strip()
    if s.startswith("[") and s.endswith("]"):
        if section == "kestrin" and not done:
            out.append("NTPServer=" + name); done = True
        section = s[1:-1].strip().lower()
    elif section == "kestrin" and s.split("=", 1)[0].strip().lower() == "ntpserver":
        if done:
            continue
        line, done = "NTPServer=" + name, True
    out.append(line)
if not done:
    if section != "kestrin":
        out.append("[KESTRIN]")
    out.append("NTPServer=" + name)
with open(path, "wb") as f:
    f.write(("\r\n".join(out) + "\r\n").encode("latin-1"))
PY
}

show_ini() {
  echo "--- $1"
  tr -d '\r' < "$1" 2>/dev/null || echo "(no file)"
}

if [ "$demo" = 1 ]; then
  export E2E_NSPREFIX=kst-demo E2E_DISPLAY=${KESTRIN_DEMO_DISPLAY:-:65}
  # shellcheck source=../tests/e2e/lib.sh
  source "$here/tests/e2e/lib.sh"
  e2e_setup run
  net_create 65 client server
  net_hosts client "${ADDR[server]} timeserver"
  printf 'nameserver 127.0.0.1\n' > "/etc/netns/$(nsname client)/resolv.conf"
  chrony_server chronyd server
  sleep 1
  [ -d "/proc/$LAST_PID" ] || { cat "$E2E_DIR/chronyd.log" >&2; fail "chronyd did not start"; }
  log "chronyd -x serves ${ADDR[server]} (\"timeserver\"); Kestrin runs in $(nsname client)"
  # A private copy of the prefix: its wineserver lives in the client namespace.
  wine_prepare client "$prefix"
  ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
  set_server "$ini" "${server:-timeserver}"
  # -d 3: the first request waits three seconds, so the watcher is in place.
  wine_spawn kestrin client "$exe" -s -d 3 "${switches[@]}"
  nsx client timeout 60 wine "$driver" watch 45 | tr -d '\r' || true
  wait "$LAST_PID" && log "Kestrin ended (status 0)" || log "Kestrin ended with status $?"
  show_ini "$ini"
  exit 0
fi

ini=$prefix/drive_c/windows/KESTRIN.INI
[ -n "$server" ] && set_server "$ini" "$server"
export WINEPREFIX=$prefix

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  wine "$exe" "${switches[@]}" || true
  show_ini "$ini"
  exit 0
fi

# No display: a private Xvfb, a screenshot, then an orderly end.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
kestrin=
cleanup() {
  [ -n "$kestrin" ] && kill "$kestrin" 2>/dev/null
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -f "$displayfile"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$displayfile")
wine "$exe" "${switches[@]}" &
kestrin=$!
if rect=$(timeout 60 wine "$driver" rect 45 | tr -d '\r'); then
  sleep 3
  read -r left top right bottom <<<"$rect"
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    build/screenshot.png
  echo "run: screenshot saved to build/screenshot.png"
  echo "run: status line: $(wine "$driver" status | tr -d '\r')"
  wine "$driver" escape >/dev/null || true
else
  echo "run: no window appeared (started hidden?); taking the whole screen" >&2
  import -window root build/screenshot.png
fi
for _ in $(seq 100); do kill -0 "$kestrin" 2>/dev/null || break; sleep 0.1; done
kestrin=
show_ini "$ini"
