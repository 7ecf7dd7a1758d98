# X servers for Wine without a screen: each on a free display number,
# recorded in a pid file, stopped only by that pid. Source after paths.sh.

# xvfb_clear_stale: for each X server of ours that died without cleaning up
# (killed with the run that started it), removes the socket file it left at
# its display, if nothing answers there now, and its own records. (Started
# with -displayfd, our servers write no lock.) Other X servers' files are
# not ours to judge.
xvfb_clear_stale() {
  local displayfile name n pid sock
  for displayfile in "$KESTRIN_PIDS"/*.display; do
    [ -f "$displayfile" ] || continue
    name=${displayfile%.display}
    pid=$(head -n1 "$name.pid" 2>/dev/null) n=$(head -n1 "$displayfile")
    # Without both, a server is still starting.
    [ -n "$pid" ] && [ -n "$n" ] || continue
    pid_runs "$pid" Xvfb && continue
    sock=/tmp/.X11-unix/X$n
    if [ -S "$sock" ] && ! socket_answers "$sock"; then
      echo "xvfb: removing the socket display :$n left (its server, pid $pid, is gone)" >&2
      rm -f "$sock"
    fi
    rm -f "$name.pid" "$displayfile" "$name.log"
  done
}

# socket_answers PATH: whether a server accepts connections on the Unix
# socket at PATH.
socket_answers() {
  /usr/bin/python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX)
s.settimeout(2)
s.connect(sys.argv[1])' "$1" 2>/dev/null
}

# xvfb_start NAME: a new Xvfb on a free display from :20 up, detached from
# our output pipes; its pid in $KESTRIN_PIDS/NAME.pid, its display in
# $KESTRIN_PIDS/NAME.display and in DISPLAY (exported). A display counts as
# free only where no lock and no socket file stand: Xvfb's own choice
# (-displayfd alone) looks only at sockets in its network namespace, and
# would replace the socket file of a server running in another.
xvfb_start() {
  local name=$1 pidfile displayfile n pid i
  mkdir -p "$KESTRIN_PIDS"
  pidfile=$KESTRIN_PIDS/$name.pid displayfile=$KESTRIN_PIDS/$name.display
  xvfb_clear_stale
  for n in $(seq 20 99); do
    { [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; } && continue
    # Xvfb writes the number to descriptor 3 once it serves the display; it
    # ends at once when another server took the display meanwhile.
    : > "$displayfile"
    ( without_fds; exec Xvfb ":$n" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$displayfile" </dev/null >"$KESTRIN_PIDS/$name.log" 2>&1 ) &
    pid=$!
    echo "$pid" > "$pidfile"
    for i in $(seq 100); do
      [ -s "$displayfile" ] && { export DISPLAY=:$n; return 0; }
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
  done
  echo "xvfb: Xvfb did not start; see $KESTRIN_PIDS/$name.log" >&2
  return 1
}

# xvfb_stop NAME: stops the Xvfb that xvfb_start NAME recorded.
xvfb_stop() {
  pid_stop "$KESTRIN_PIDS/$1.pid" Xvfb
  rm -f "$KESTRIN_PIDS/$1.display" "$KESTRIN_PIDS/$1.log"
}

# xvfb_shared: the Xvfb that Wine test programs share across one test run
# (started on first use, kept until scripts/test.sh stops it); exports its
# DISPLAY.
xvfb_shared() {
  mkdir -p "$KESTRIN_PIDS"
  (
    flock -w 30 9 || exit 1
    pid=$(head -n1 "$KESTRIN_PIDS/shared-xvfb.pid" 2>/dev/null)
    display=$(head -n1 "$KESTRIN_PIDS/shared-xvfb.display" 2>/dev/null)
    if [ -n "$display" ] && pid_runs "$pid" Xvfb &&
       DISPLAY=:$display xdpyinfo >/dev/null 2>&1; then
      exit 0
    fi
    xvfb_start shared-xvfb
  ) 9>"$KESTRIN_PIDS/shared-xvfb.lock" || return 1
  export DISPLAY=:$(head -n1 "$KESTRIN_PIDS/shared-xvfb.display")
}
