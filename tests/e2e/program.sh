# How the end-to-end scripts drive the program under test: start it in a
# namespace, read the status-line texts it showed, read its counters, stop
# it. Source after scripts/lib/netns.sh. The program is either
#  - the test host kestrin_svchost.exe, which runs the time service without
#    the dialogs and logs on its standard output "STATUS <text>" for each
#    status text, "BOX <caption>|<text>" for each message box and
#    "STATE sent=.. received=.. broadcast=.. rejected=.. ..." whenever the
#    service's counters change; or
#  - kestrin.exe itself, started with no server in KESTRIN.INI; app_driver.exe
#    (beside it) hooks its status line and prints each text as
#    "<seconds> s  status: <text>", then types the server into the dialog and
#    presses Set Time. It has no counters to read. With PROG_WATCH=0 it
#    starts with the server in KESTRIN.INI and nothing watching it.

declare -A PROG_PIDS=() PROG_EXES=()

# prog_start NAME ROLE EXE SERVER [SWITCH...]: start the program (for
# kestrin.exe, PROG_INI_EXTRA holds more KESTRIN.INI lines); switches
# are the program's own (-s -i -u -b) or the host's (-f N fast ticks,
# -a MS:ACTION scripted actions, -t SECONDS). PROG_LOG: a file (a Unix
# path, which Wine reaches through Z:) for the exchange log, given to
# kestrin.exe in KESTRIN.INI and to the host as its switch.
prog_start() {
  local name=$1 role=$2 exe=$3 server=$4; shift 4
  local log_win=${PROG_LOG:+Z:${PROG_LOG//\//\\}}
  PROG_EXES[$name]=$exe
  if [ "$(basename "$exe")" != kestrin.exe ]; then
    wine_spawn "$name" "$role" "$exe" "$@" ${log_win:+-E "$log_win"} "$server"
    PROG_PIDS[$name]=$LAST_PID
    return
  fi
  local ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
  if [ "${PROG_WATCH:-1}" = 0 ]; then
    # Unwatched (benches): the server comes from the INI file, no status log.
    printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\n' "$server" > "$ini"
    wine_spawn "$name" "$role" "$exe" "$@"
    PROG_PIDS[$name]=$LAST_PID
    return
  fi
  local driver; driver=$(dirname "$exe")/app_driver.exe
  [ -f "$driver" ] || fail "no app_driver.exe beside $exe"
  printf '[KESTRIN]\r\nNTPServer=\r\nPollInterval=60\r\nMaxDelta=100\r\n%s%s' \
    "${log_win:+LogFile=$log_win$'\r\n'}" "${PROG_INI_EXTRA:-}" > "$ini"
  wine_spawn "$name.prog" "$role" "$exe" "$@"
  PROG_PIDS[$name]=$LAST_PID
  wine_spawn "$name" "$role" "$driver" watch 900
  # The driver prints its first line once its hook is in place.
  wait_for "$RUN_DIR/$name.log" ' status: ' 20 || fail "$name: app_driver found no window"
  nsx "$role" wine "$driver" set 104 "$server" && nsx "$role" wine "$driver" click 102 \
    || fail "$name: cannot enter the server"
}

# send_now NAME ROLE: a request at once: Set Time pressed in the program,
# the sendnow broadcast to the test host (which keeps its counters).
send_now() {
  local exe=${PROG_EXES[$1]}
  if [ "$(basename "$exe")" = kestrin.exe ]; then
    nsx "$2" wine "$(dirname "$exe")/app_driver.exe" click 102 || fail "$1: Set Time"
  else
    nsx "$2" wine "$(dirname "$exe")/kestrin_broadcast.exe" sendnow || fail "$1: sendnow"
  fi
}

# last_tx PEERLOG: the transmit time (hex) of the latest request the scripted
# peer logged; a reply that carries it back answers that request.
last_tx() { grep '^request ' "$1" | tail -n1 | sed -n 's/.* tx=\([0-9a-f]*\) .*/\1/p'; }
# last_rx PEERLOG: when that request arrived (Unix seconds): its transmit
# time is random, so a reply pretending to answer it takes this as its T2.
last_rx() { grep '^request ' "$1" | tail -n1 | sed -n 's/.* t=\([0-9.]*\).*/\1/p'; }
# last_port PEERLOG: the source port of that request, where its reply goes.
last_port() { grep '^request ' "$1" | tail -n1 | sed -n 's/^request from=[0-9.]*:\([0-9]*\) .*/\1/p'; }

# status_lines NAME: the status texts shown so far, one per line, in order.
status_lines() {
  sed -n -e 's/^STATUS //p' -e 's/^ *[0-9.]* s  status: //p' "$RUN_DIR/$1.log" 2>/dev/null | tr -d '\r'
}

# wait_for_status NAME REGEX SECONDS [COUNT]: returns 1 on timeout.
wait_for_status() {
  local name=$1 re=$2 secs=$3 want=${4:-1} n
  local deadline=$((SECONDS + secs))
  while :; do
    n=$(status_lines "$name" | grep -cE -- "$re")
    [ "$n" -ge "$want" ] && return 0
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# expect_status NAME REGEX SECONDS COUNT WHAT: wait_for_status or fail.
expect_status() {
  wait_for_status "$1" "$2" "$3" "$4" && return 0
  log "status texts of $1:"; status_lines "$1" | tail -n 15 >&2
  grep -v '^STATUS ' "$RUN_DIR/$1.log" | tail -n 5 >&2
  fail "$5: no status /$2/ (x$4) within ${3}s"
}

# prog_stats NAME: prints "sent received broadcast rejected".
prog_stats() {
  grep '^STATE ' "$RUN_DIR/$1.log" | tail -n1 | tr -d '\r' | awk '
    { for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
    END { if (NR) print v["sent"], v["received"], v["broadcast"], v["rejected"]; else exit 1 }'
}

# expect_stats NAME SENT RECEIVED BROADCAST REJECTED: the counters reach
# these values within 3 s (the host reports them every 20 ms). A program
# without counters is noted and passes.
expect_stats() {
  local name=$1 got deadline=$((SECONDS + 3))
  prog_stats "$name" >/dev/null || { log "$name: no counters to check"; return 0; }
  while got=$(prog_stats "$name"); [ "$got" != "$2 $3 $4 $5" ]; do
    [ "$SECONDS" -ge "$deadline" ] && fail "counters of $name: got '$got', want '$2 $3 $4 $5' (sent received broadcast rejected)"
    sleep 0.1
  done
}

prog_pid() { printf %s "${PROG_PIDS[$1]:-}"; }
prog_alive() { kill -0 "$(prog_pid "$1")" 2>/dev/null; }

# prog_wait_exit NAME SECONDS: returns 1 if still running at the deadline.
prog_wait_exit() {
  local deadline=$((SECONDS + $2))
  while prog_alive "$1"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

prog_stop() {
  local pid; pid=$(prog_pid "$1")
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  prog_wait_exit "$1" 5 || kill -9 "$pid" 2>/dev/null
  return 0
}
