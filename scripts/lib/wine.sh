# The Windows program under Wine inside a network namespace: a private copy
# of the prefix whose wineserver lives there, an X server of the run's own,
# Wine's fonts, the window frame drawn by Wine, and a picture of one window.
# Sourced by netns.sh, whose nsx, spawn and fail it uses.

# run_xvfb: an X server of our own for Wine on a free display; namespaces
# reach it through its file socket.
run_xvfb() {
  RUN_XVFB=$(basename "$RUN_DIR")-xvfb
  xvfb_start "$RUN_XVFB" || fail "no X server"
}

# wine_prepare ROLE SOURCE_PREFIX [TAG]: a private copy of the Wine prefix
# whose wineserver runs inside ROLE's namespace. Wine creates sockets inside
# the wineserver, so that is where the program's network lives. The windows
# go to an X server of our own, or with KEEP_DISPLAY=1 to $DISPLAY. The copy
# becomes RUN_WINEPREFIX and WINEPREFIX. A run with programs in several
# namespaces prepares a copy for each, TAG telling them apart (prefix-TAG,
# wine-services-TAG.log), and names the copy in WINEPREFIX for each Wine
# command; the X server is shared and run_end stops every copy's wineserver.
wine_prepare() {
  local role=$1 src=$2 tag=${3:+-$3}
  [ -f "$src/system.reg" ] || fail "no Wine prefix at $src"
  [ "${KEEP_DISPLAY:-0}" = 1 ] || [ -n "$RUN_XVFB" ] || run_xvfb
  RUN_WINEPREFIX=$RUN_DIR/prefix$tag
  RUN_WINEPREFIXES+=("$RUN_WINEPREFIX")
  cp -a "$src" "$RUN_WINEPREFIX"
  export WINEPREFIX=$RUN_WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=} TZ=UTC
  nsx "$role" wineserver -p
  # Warm the prefix (services, explorer) so the program itself starts fast.
  # The service manager starts here: what it and its services write to
  # standard error (Wine's debug channels) goes to wine-services.log.
  nsx "$role" timeout 60 wine cmd /c exit >"$RUN_DIR/wine-services$tag.log" 2>&1 || true
}

# wine_spawn NAME ROLE EXE ARGS...: the Windows program in the background.
wine_spawn() {
  local name=$1 role=$2; shift 2
  spawn "$name" "$role" wine "$@"
}

# wine_fonts: copies Wine's own fonts (MS Sans Serif, Marlett for the caption
# buttons) into the run's prefix, where this Wine build looks for them; pictures
# then look like the ones in docs/.
wine_fonts() {
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null ||
    fail "Wine's fonts are missing (fonts-wine)"
}

# wine_unmanaged ROLE [undo]: Wine draws window frames and captions itself
# (an Xvfb has no window manager); "undo" gives them back to the desktop.
# ROLE "" runs Wine outside any namespace.
wine_unmanaged() {
  local key='HKCU\Software\Wine\X11 Driver' in=()
  [ -n "$1" ] && in=(nsx "$1")
  if [ "${2:-}" = undo ]; then
    "${in[@]}" wine reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
  else
    "${in[@]}" wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1
  fi
}

# window_shot "LEFT TOP RIGHT BOTTOM" FILE: that part of the X screen as a PNG.
window_shot() {
  local left top right bottom
  read -r left top right bottom <<<"$1"
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$2"
}
