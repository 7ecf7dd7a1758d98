# X servers for Wine without a screen: each on a free display number chosen
# by Xvfb itself, recorded in a pid file, stopped only by that pid. Source
# after paths.sh.

# x_clear_stale_locks: removes the lock and socket of every X display whose
# server died without cleaning up (its recorded pid no longer runs).
x_clear_stale_locks() {
  local lock n pid
  for lock in /tmp/.X*-lock; do
    [ -f "$lock" ] || continue
    n=${lock#/tmp/.X}; n=${n%-lock}
    pid=$(tr -dc '0-9' < "$lock" 2>/dev/null)
    [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null || continue
    echo "xvfb: removing the stale lock of display :$n (its server, pid $pid, is gone)" >&2
    rm -f "$lock" "/tmp/.X11-unix/X$n"
  done
}

# xvfb_start NAME: a new Xvfb on a free display, detached from our output
# pipes; its pid in $KESTRIN_PIDS/NAME.pid, its display in
# $KESTRIN_PIDS/NAME.display and in DISPLAY (exported).
xvfb_start() {
  local name=$1 pidfile displayfile i
  mkdir -p "$KESTRIN_PIDS"
  pidfile=$KESTRIN_PIDS/$name.pid displayfile=$KESTRIN_PIDS/$name.display
  x_clear_stale_locks
  : > "$displayfile"
  ( without_fds; exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
      3>"$displayfile" </dev/null >"$KESTRIN_PIDS/$name.log" 2>&1 ) &
  echo $! > "$pidfile"
  for i in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
  [ -s "$displayfile" ] || { echo "xvfb: Xvfb did not start; see $KESTRIN_PIDS/$name.log" >&2; return 1; }
  export DISPLAY=:$(head -n1 "$displayfile")
}

# xvfb_stop NAME: stops the Xvfb that xvfb_start NAME recorded.
xvfb_stop() {
  pid_stop "$KESTRIN_PIDS/$1.pid"
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
    if [ -n "$pid" ] && [ -n "$display" ] && kill -0 "$pid" 2>/dev/null &&
       DISPLAY=:$display xdpyinfo >/dev/null 2>&1; then
      exit 0
    fi
    xvfb_start shared-xvfb
  ) 9>"$KESTRIN_PIDS/shared-xvfb.lock" || return 1
  export DISPLAY=:$(head -n1 "$KESTRIN_PIDS/shared-xvfb.display")
}
