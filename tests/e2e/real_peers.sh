#!/usr/bin/env bash
# The time service against real NTP software: it sets the clock from chronyd
# (looked up by host name) and from ntpsec's ntpd, asking from ports of its
# own, and ntpdig, toybox sntp and chronyd -Q get stratum-15 answers from it
# on port 123 with offsets near zero. The real program's
# statistics dialog shows the counts of those exchanges.
# Usage: real_peers.sh PROGRAM.exe WINEPREFIX
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2

run_begin peers
net_create 11 svc srv cli ntp
net_hosts svc "${ADDR[srv]} timesrv.kestrin.test timesrv"
chrony_server chrony srv
# ntpsec's ntpd following chronyd, without the right to set the clock (-x,
# no clock capability, never a step); it synchronises while the rest runs.
cat > "$RUN_DIR/ntpd.conf" <<EOC
server ${ADDR[srv]} iburst minpoll 3 maxpoll 4
tinker step 0 stepout 0 panic 0
disable kernel
driftfile $RUN_DIR/ntpd.drift
EOC
spawn ntpd ntp "${NO_CLOCK[@]}" "$NTPD" -n -x -c "$RUN_DIR/ntpd.conf" -p "$RUN_DIR/ntpd.pid" \
  -l "$RUN_DIR/ntpd.syslog"
wine_prepare svc "$prefix"

# Client side: lookup, a version-1 request, an accepted reply whose delta is
# within 0.02 s of zero (Wine accepts a set within 0.5 s and does nothing).
prog_start svc1 svc "$program" timesrv
expect_status svc1 '^DNS Lookup in progress\.\.\.$' 20 1 "host lookup"
expect_status svc1 '^NTP Request sent - ' 20 1 "request after lookup"
expect_status svc1 '^Last set: .*   Delta: (\+0\.0[0-2]|-0\.0[01]) secs$' 20 1 \
  "delta from chronyd"
log "chronyd: $(status_lines svc1 | grep 'Last set' | head -n1)"

# Server side: real clients ask the service directly, from their own ports.
svc_addr=${ADDR[svc]}
within() { awk -v x="$1" -v lim="$2" 'BEGIN { exit !(x >= -lim && x <= lim) }'; }

# The real program's statistics dialog holds the counts of the moment it
# opened: one request and one reply so far; the ntpdig exchange below
# happens while it is open and shows only when it is opened again.
stats_driver=
[ "$(basename "$program")" = kestrin.exe ] && stats_driver=$(dirname "$program")/app_driver.exe
stats_shown() { nsx svc wine "$stats_driver" stats | tr -d '\r'; }
if [ -n "$stats_driver" ]; then
  counts=$(stats_shown) || fail "no statistics dialog"
  [ "$counts" = "1 1 0 0" ] || fail "statistics after one exchange: '$counts', want '1 1 0 0' (sent received broadcast rejected)"
fi

out=$(nsx cli timeout 10 ntpdig -t 3 "$svc_addr" 2>&1) || fail "ntpdig got no answer: $out"
log "ntpdig: $out"
set -- $out
[ "${!#}" = no-leap ] || fail "ntpdig: leap not clear: $out"
stratum=$(printf '%s\n' "$out" | grep -oE ' s[0-9]+ ' | tr -d ' s')
[ "$stratum" = 15 ] || fail "ntpdig: stratum $stratum, want 15"
within "$4" 0.05 || fail "ntpdig: offset $4 beyond 0.05 s"

if [ -n "$stats_driver" ]; then
  counts=$(stats_shown) || fail "statistics dialog gone"
  [ "$counts" = "1 1 0 0" ] || fail "statistics changed while open: '$counts'"
  nsx svc wine "$stats_driver" close stats || fail "statistics dialog does not close"
  counts=$(stats_shown) || fail "no statistics dialog"
  [ "$counts" = "2 2 0 0" ] || fail "statistics after ntpdig: '$counts', want '2 2 0 0'"
  nsx svc wine "$stats_driver" close stats || fail "statistics dialog does not close"
  log "statistics: $counts"
fi

out=$(nsx cli timeout 10 toybox sntp "$svc_addr" 2>&1) || fail "toybox sntp got no answer: $out"
log "toybox sntp: $out"
offset=$(printf '%s\n' "$out" | awk '{ for (i = 1; i < NF; i++) if ($i == "offset") print $(i + 1) }')
[ -n "$offset" ] && within "$offset" 0.05 || fail "toybox sntp: offset '$offset' beyond 0.05 s"

mkdir -p "$RUN_DIR/chronyq"
out=$(nsx cli timeout 20 "${NO_CLOCK[@]}" "$CHRONYD" -Q -x -u root "server $svc_addr iburst maxsamples 1" \
  "logdir $RUN_DIR/chronyq" "log measurements" "pidfile $RUN_DIR/chronyq/pid" 2>&1) \
  || fail "chronyd -Q failed: $out"
log "chronyd -Q: $(printf '%s\n' "$out" | grep 'wrong by')"
offset=$(printf '%s\n' "$out" | sed -n 's/.*System clock wrong by \(-\?[0-9.]*\) seconds.*/\1/p')
[ -n "$offset" ] && within "$offset" 0.05 || fail "chronyd -Q: offset '$offset' beyond 0.05 s"
stratum=$(awk -v a="$svc_addr" '$3 == a { print $5 }' "$RUN_DIR/chronyq/measurements.log" | tail -n1)
[ "$stratum" = 15 ] || fail "chronyd -Q: stratum '$stratum', want 15"

prog_stop svc1

# ntpsec's ntpd, fed by chronyd: its reply to a request from a port of our
# own sets the clock as chronyd's does.
chrony_ready svc "${ADDR[ntp]}" 90
prog_start svc2 svc "$program" "${ADDR[ntp]}"
expect_status svc2 '^Last set: .*   Delta: (\+0\.0[0-2]|-0\.0[01]) secs$' 20 1 "delta from ntpd"
log "ntpd: $(status_lines svc2 | grep 'Last set' | head -n1)"
prog_stop svc2
log "PASS"
