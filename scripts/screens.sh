#!/usr/bin/env bash
# Screenshots for docs/: the main window with the status line in each of its
# states against NTP peers in private network namespaces (main-*.png), the
# time-zone, statistics and about dialogs (dialog-*.png), and Wine's help
# viewer showing kestrin.hlp at its contents and at the topic Shift+F1 opens
# for Help > About... (help-*.png). Needs root and a built cross tree
# (scripts/build.sh).
# Usage: scripts/screens.sh [OUTPUT_DIR [BUILD_UI_DIR [WINEPREFIX]]]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/docs} ui=${2:-$here/build/win32/ui} prefix=${3:-$here/build/wineprefix}
export NS_PREFIX=kst-shots
# shellcheck source=lib/netns.sh
source "$here/scripts/lib/netns.sh"

run_begin shots
net_create 64 app peer silent far
# "slowhost" is looked up at a name server that never answers.
net_hosts app
printf 'nameserver %s\noptions timeout:8 attempts:1\n' "${ADDR[silent]}" \
  > "/etc/netns/$(nsname app)/resolv.conf"

spawn peer peer "$PYTHON" "$PEERS_DIR/peer.py" serve --bind "${ADDR[peer]}"
spawn silent silent "$PYTHON" "$PEERS_DIR/peer.py" serve --bind "${ADDR[silent]}" --silent
spawn dns silent "$PYTHON" "$PEERS_DIR/peer.py" serve --bind "${ADDR[silent]}" --port 53 --silent
spawn far far "$PYTHON" "$PEERS_DIR/peer.py" serve --bind "${ADDR[far]}" --offset 7200
for p in peer silent dns far; do expect_line "$RUN_DIR/$p.log" '^ready' 10 1 "$p"; done

wine_prepare app "$prefix"
wine_fonts
wine_unmanaged app
ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
driver=$ui/app_driver.exe
mkdir -p "$out"

# drive ARGS...: the command-line driver beside the program, its output
# without carriage returns.
drive() { nsx app timeout 30 wine "$driver" "$@" | tr -d '\r'; }

# shot NAME SERVER PREFIX: start with SERVER, wait for a status starting with
# PREFIX, save the window.
shot() {
  local name=$1 server=$2 want=$3 status rect
  printf '[KESTRIN]\r\nNTPServer=%s\r\n' "$server" > "$ini"
  wine_spawn "kestrin-$name" app "$ui/kestrin.exe"
  status=$(drive wait-status "$want" 20) ||
    fail "$name: status line never began with '$want' (it reads '$status')"
  sleep 0.5  # the caret and the status line's repaint settle
  rect=$(drive rect 5) || fail "$name: no window"
  window_shot "$rect" "$out/main-$name.png"
  log "$name: '$status' -> $out/main-$name.png"
  drive escape >/dev/null || true
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
  local name=$1 rect
  printf '[KESTRIN]\r\nNTPServer=%s\r\nDstRule=5,7,3,1,0,5,7,10,2,0,0\r\nSTDTzName=GMT\r\nDSTTzName=BST\r\n' \
    "${ADDR[peer]}" > "$ini"
  wine_spawn "kestrin-$name" app "$ui/kestrin.exe"
  drive wait-status "Last set: " 20 >/dev/null || fail "$name: no reply from the peer"
  rect=$(drive open "$name") || fail "$name: no dialog"
  window_shot "$rect" "$out/dialog-$name.png"
  log "$name -> $out/dialog-$name.png"
  drive close "$name" >/dev/null
  drive escape >/dev/null || true
  wait "$LAST_PID" || true
}

dialog tz
dialog stats
dialog about

# help_shot NAME TEXT: the help viewer once it shows TEXT, saved as help-NAME.png.
help_shot() {
  local rect
  rect=$(drive help-rect "$2" 20) || fail "$1: the viewer never showed '$2'"
  window_shot "$rect" "$out/help-$1.png"
  log "$1 -> $out/help-$1.png"
}

rm -f "$ini"
wine_spawn kestrin-help app "$ui/kestrin.exe"
drive shown 20 >/dev/null || fail "no Kestrin window"
drive command 24381 >/dev/null
help_shot contents "Kestrin keeps your computer's clock right."
drive context 24389 >/dev/null || fail "no context-help mode"
help_shot about "Help > About... opens the About Kestrin box"
drive help-close >/dev/null
drive escape >/dev/null || true
wait "$LAST_PID" || true
