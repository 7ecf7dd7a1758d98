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
exe=${KESTRIN_EXE:-$here/dist/kestrin.exe}
driver=${KESTRIN_DRIVER:-$here/build/win32/ui/app_driver.exe}
[ -f "$exe" ] || { echo "run: dist/kestrin.exe was not built" >&2; exit 1; }
prefix=${KESTRIN_WINEPREFIX:-$KESTRIN_BUILD/wineprefix}
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

# configured_server INI: the NTPServer value the program will read.
configured_server() {
  [ -f "$1" ] || return 0
  tr -d '\r' < "$1" | awk -F= '
    /^[ \t]*\[/ { s = tolower($0); gsub(/[][ \t]/, "", s); in_k = (s == "kestrin"); next }
    in_k && tolower($1) ~ /^[ \t]*ntpserver[ \t]*$/ { sub(/^[^=]*=/, ""); print; exit }'
}

show_ini() {
  echo "--- $1"
  tr -d '\r' < "$1" 2>/dev/null || echo "(no file)"
}

have_display() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

# local_server TAG: chronyd serving the time in one private namespace, the
# client namespace joined to it, and a copy of the prefix whose wineserver
# lives in the client namespace (Wine makes its sockets there). Afterwards
# "nsx client" runs a command beside the program.
local_server() {
  export E2E_NSPREFIX=kst-run
  [ "$(id -u)" -eq 0 ] || { echo "run: the local time server needs root (network namespaces);" \
    "run as root, or give a server with --server NAME" >&2; exit 77; }
  [ "$headless" = 1 ] || E2E_KEEP_DISPLAY=1
  e2e_setup "$1"
  net_create 65 client server
  net_hosts client "${ADDR[server]} timeserver"
  printf 'nameserver 127.0.0.1\n' > "/etc/netns/$(nsname client)/resolv.conf"
  chrony_server chronyd server
  # Ready when it answers as a synchronised server (until then it sends
  # leap 3, which the program rejects).
  local deadline=$((SECONDS + 30)) out=
  until out=$(nsx client timeout 3 ntpdig -t 1 "${ADDR[server]}" 2>/dev/null) &&
        [[ $out == *no-leap* ]]; do
    [ "$SECONDS" -lt "$deadline" ] || { tail -n 5 "$E2E_DIR/chronyd.log" >&2; fail "chronyd does not answer"; }
    sleep 0.2
  done
  log "chronyd -x serves ${ADDR[server]} (\"timeserver\"); Kestrin runs in $(nsname client)"
  wine_prepare client "$prefix"
  # Wine's own fonts (MS Sans Serif, Marlett for the caption buttons), which
  # this Wine build finds only in the prefix.
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
  set_server "$ini" timeserver
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
  read -r left top right bottom <<<"$rect"
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    build/screenshot.png
  echo "run: screenshot saved to build/screenshot.png"
  echo "run: status line: $status"
  "${inns[@]}" wine "$driver" escape >/dev/null || true
}

# unmanaged: Wine draws the frame and caption itself (no window manager on
# a private Xvfb); "undo" puts the prefix back.
unmanaged() {
  if [ "${1:-}" = undo ]; then
    "${inns[@]}" wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
  else
    "${inns[@]}" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  fi
}

inns=()
headless=1
have_display && headless=0
ini=$prefix/drive_c/windows/KESTRIN.INI
[ "$server_given" = 1 ] && set_server "$ini" "$server"

if [ "$demo" = 1 ]; then
  local_server demo
  # -d 3: the first request waits three seconds, so the watcher is in place.
  wine_spawn kestrin client "$exe" -s -d 3 "${switches[@]}"
  nsx client timeout 60 wine "$driver" watch 45 | tr -d '\r' || true
  wait "$LAST_PID" && log "Kestrin ended (status 0)" || log "Kestrin ended with status $?"
  show_ini "$ini"
  exit 0
fi

if [ -z "$(configured_server "$ini")" ]; then
  local_server run
  if [ "$headless" = 0 ]; then
    wine_spawn kestrin client "$exe" "${switches[@]}"
    wait "$LAST_PID" || true
  else
    unmanaged
    wine_spawn kestrin client "$exe" "${switches[@]}"
    screenshot
    prog_wait=$LAST_PID
    wait "$prog_wait" || true
  fi
  show_ini "$ini"
  exit 0
fi

# A server of the user's: the project's prefix on the machine's network.
export WINEPREFIX=$prefix
if [ "$headless" = 0 ]; then
  wine "$exe" "${switches[@]}" || true
  show_ini "$ini"
  exit 0
fi

kestrin=
cleanup() {
  set +e
  [ -n "$kestrin" ] && kill "$kestrin" 2>/dev/null
  unmanaged undo
  wineserver -k 2>/dev/null
  xvfb_stop run-xvfb
}
trap cleanup EXIT
unset DISPLAY
xvfb_start run-xvfb
unmanaged
wine "$exe" "${switches[@]}" &
kestrin=$!
screenshot
for _ in $(seq 100); do kill -0 "$kestrin" 2>/dev/null || break; sleep 0.1; done
kestrin=
show_ini "$ini"
