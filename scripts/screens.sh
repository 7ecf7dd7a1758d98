#!/usr/bin/env bash
# Screenshots of the main window with the status line in each of its states,
# against NTP peers in private network namespaces: docs/main-*.png; and of
# the time-zone, statistics and about dialogs: docs/dialog-*.png. Needs root
# and a built cross tree (scripts/build.sh).
# Usage: scripts/screens.sh [OUTPUT_DIR [BUILD_UI_DIR [WINEPREFIX]]]
set -u -o pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/docs} ui=${2:-$here/build/win32/ui} prefix=${3:-$here/build/wineprefix}
export E2E_NSPREFIX=kst-shots
# shellcheck source=lib/netns.sh
source "$here/scripts/lib/netns.sh"

e2e_setup shots
net_create 64 app peer silent far
# "slowhost" is looked up at a name server that never answers.
net_hosts app
printf 'nameserver %s\noptions timeout:8 attempts:1\n' "${ADDR[silent]}" \
  > "/etc/netns/$(nsname app)/resolv.conf"

spawn peer peer "$E2E_PY" "$E2E_PEERS_DIR/peer.py" serve --bind "${ADDR[peer]}"
spawn silent silent "$E2E_PY" "$E2E_PEERS_DIR/peer.py" serve --bind "${ADDR[silent]}" --silent
spawn dns silent "$E2E_PY" "$E2E_PEERS_DIR/peer.py" serve --bind "${ADDR[silent]}" --port 53 --silent
spawn far far "$E2E_PY" "$E2E_PEERS_DIR/peer.py" serve --bind "${ADDR[far]}" --offset 7200
for p in peer silent dns far; do expect_line "$E2E_DIR/$p.log" '^ready' 10 1 "$p"; done

wine_prepare app "$prefix"
# Wine's own fonts (MS Sans Serif, Marlett for the caption buttons): this
# Wine build does not look in its data directory, only in the prefix.
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null ||
  fail "Wine's fonts are missing (fonts-wine)"
# Wine draws the caption itself (there is no window manager on Xvfb).
nsx app wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
driver=$ui/app_driver.exe
mkdir -p "$out"

# shot NAME SERVER PREFIX: start with SERVER, wait for a status starting with
# PREFIX, save the window.
shot() {
  local name=$1 server=$2 want=$3
  printf '[KESTRIN]\r\nNTPServer=%s\r\n' "$server" > "$ini"
  wine_spawn "kestrin-$name" app "$ui/kestrin.exe"
  local status
  status=$(nsx app timeout 30 wine "$driver" wait-status "$want" 20 | tr -d "\r") ||
    fail "$name: status line never began with '$want' (it reads '$status')"
  sleep 0.5
  local r; r=$(nsx app wine "$driver" rect 5 | tr -d "\r") || fail "$name: no window"
  read -r left top right bottom <<<"$r"
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$out/main-$name.png"
  log "$name: '$status' -> $out/main-$name.png"
  nsx app wine "$driver" escape >/dev/null
  wait "$LAST_PID" || true
}

shot blank "" " "
shot lookup slowhost "DNS Lookup in progress..."
shot sent "${ADDR[silent]}" "NTP Request sent - "
shot set "${ADDR[peer]}" "Last set: "
shot notset "${ADDR[far]}" "Clock NOT Set: "

# dialog NAME: after one exchange with the peer under a northern rule, open
# the dialog over the main window and save it.
dialog() {
  local name=$1
  printf '[KESTRIN]\r\nNTPServer=%s\r\nDstRule=5,7,3,1,0,5,7,10,2,0,0\r\nSTDTzName=GMT\r\nDSTTzName=BST\r\n' \
    "${ADDR[peer]}" > "$ini"
  wine_spawn "kestrin-$name" app "$ui/kestrin.exe"
  nsx app timeout 30 wine "$driver" wait-status "Last set: " 20 >/dev/null ||
    fail "$name: no reply from the peer"
  local r; r=$(nsx app timeout 30 wine "$driver" open "$name" | tr -d "\r") || fail "$name: no dialog"
  read -r left top right bottom <<<"$r"
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$out/dialog-$name.png"
  log "$name -> $out/dialog-$name.png"
  nsx app wine "$driver" close "$name" >/dev/null
  nsx app wine "$driver" escape >/dev/null
  wait "$LAST_PID" || true
}

dialog tz
dialog stats
dialog about
