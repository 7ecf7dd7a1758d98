# Where the project keeps what it makes at run time, and the one place that
# knows where the NTP servers used by tests, benches and the demo live: they
# are unpacked from Debian's packages under build/ by scripts/setup.sh, never
# installed as services. Source it; it sets no shell options.

KESTRIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
KESTRIN_BUILD=$KESTRIN_ROOT/build
KESTRIN_TMP=$KESTRIN_BUILD/tmp      # work folders and kept logs of scripts
KESTRIN_PIDS=$KESTRIN_BUILD/pids    # pid files of what the scripts started
KESTRIN_NTP=$KESTRIN_BUILD/ntp      # unpacked NTP packages

# package name, then the binary inside it
KESTRIN_NTP_PACKAGES=(chrony ntpsec)
CHRONYD=$KESTRIN_NTP/chrony/usr/sbin/chronyd
NTPD=$KESTRIN_NTP/ntpsec/usr/sbin/ntpd

# NO_CLOCK CMD...: runs CMD (in place: its pid stays) without the
# capability to set the clock, so no NTP server we start can move the host's
# time whatever its options say. An array, so it also goes behind
# "ip netns exec" and "timeout".
NO_CLOCK=(setpriv --inh-caps=-sys_time --bounding-set=-sys_time --)

# without_fds: closes every descriptor above 2 of the current (sub)shell, so
# a long-lived server started from it holds none of a caller's pipes (ctest
# waits until every holder of its output pipes has gone).
without_fds() {
  local fd
  for fd in /proc/$BASHPID/fd/*; do
    fd=${fd##*/}
    [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-"
  done
  return 0
}

# pid_runs PID PROGRAM: whether PID is a running PROGRAM (a pid recorded by
# a run that was killed may have been given to another program since).
pid_runs() { [ -n "$1" ] && [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "$2" ]; }

# pid_stop FILE PROGRAM: stops the process whose pid FILE records, if it is
# still PROGRAM, and removes FILE.
pid_stop() {
  local file=$1 program=$2 pid
  [ -f "$file" ] || return 0
  pid=$(head -n1 "$file")
  if pid_runs "$pid" "$program"; then
    kill "$pid" 2>/dev/null
    local i
    for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$file"
}
