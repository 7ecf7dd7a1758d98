#!/usr/bin/env bash
# Screenshots of Wine's help viewer showing kestrin.hlp: the contents (Help >
# Contents) and the topic of Help > About... reached with Shift+F1:
# docs/help-contents.png and docs/help-about.png.
# Usage: help_screens.sh BUILD_UI_DIR WINEPREFIX [OUTPUT_DIR]
set -u -o pipefail
ui=$1 prefix=$2 out=${3:-$(cd "$(dirname "$0")/../.." && pwd)/docs}
export E2E_NSPREFIX=kst-ui
# shellcheck source=../../scripts/lib/netns.sh
source "$(cd "$(dirname "$0")" && pwd)/../../scripts/lib/netns.sh"

e2e_setup helpshots
net_create 66 app
wine_prepare app "$prefix"
# Wine draws the caption itself (there is no window manager on Xvfb).
nsx app wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
rm -f "$WINEPREFIX/drive_c/windows/KESTRIN.INI"
driver=$ui/app_driver.exe
mkdir -p "$out"

# shot NAME TEXT: the viewer once it shows TEXT, saved as help-NAME.png.
shot() {
  local r
  r=$(nsx app timeout 30 wine "$driver" help-rect "$2" 20 | tr -d "\r") || fail "$1: the viewer never showed '$2'"
  read -r left top right bottom <<<"$r"
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out/help-$1.png"
  log "$1 -> $out/help-$1.png"
}

wine_spawn kestrin app "$ui/kestrin.exe"
nsx app timeout 30 wine "$driver" shown 20 || fail "no Kestrin window"
nsx app wine "$driver" command 24381
shot contents "Kestrin keeps your computer's clock right."
nsx app wine "$driver" context 24389 || fail "no context-help mode"
shot about "Help > About... opens the About Kestrin box"
nsx app wine "$driver" help-close
nsx app wine "$driver" escape >/dev/null
wait "$LAST_PID" || true
