#!/usr/bin/env bash
# The time service against real NTP software: it sets the clock from chronyd
# (looked up by host name) and from ntpsec's ntpd, asking from ports of its
# own, and ntpdig, toybox sntp and chronyd -Q get stratum-15 answers from it
# on port 123 with offsets near zero, field for field as always. The real
# program's statistics dialog shows the counts of those exchanges. With
# ServerStratum=auto, ntpsec's ntpd takes it as its server once it has set
# the clock from chronyd, and not before. Against an ntpd that limits its
# clients' rate with kiss codes, the test host (which polls fast enough to
# be limited) doubles its interval at each RATE. Under a UTC+13 zone
# (Tonga's, offset -13:00) on a machine whose clock reads UTC+13, the status
# line shows chronyd's time 13 hours ahead of UTC.
# Usage: real_peers.sh PROGRAM.exe WINEPREFIX
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2

run_begin peers
net_create 11 svc srv cli ntpc lim ntp
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

# ask: the service's answer to one version-3 request, as KEY=VALUE words.
ask() {
  local out
  out=$(nsx cli "$PYTHON" "$here/peer.py" ask --to "$svc_addr" --version 3) || return 1
  printf '%s\n' "${out//$'\r'/}"
}
field() { printf '%s\n' "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
# Without ServerStratum the answer is as it always was: leap 0, stratum 15,
# poll 6, precision -7, the root fields of the request (0), our server's
# address, and the answer's time as reference, receive and transmit time.
out=$(ask) || fail "no answer to a scripted request"
log "answer: $out"
want="leap=0 version=3 mode=4 stratum=15 poll=6 precision=-7 rootdelay=0 rootdisp=0 refid=${ADDR[srv]}"
[ "${out%% reference=*}" = "$want" ] || fail "answer without ServerStratum: '$out', want '$want ...'"
[ "$(field "$out" reference)" = "$(field "$out" transmit)" ] \
  && [ "$(field "$out" receive)" = "$(field "$out" transmit)" ] \
  && [ "$(field "$out" originate)" = "$(field "$out" sent)" ] || fail "answer's times: $out"

prog_stop svc1

# --- ServerStratum=auto: an ntpd client selects us once we are set ----------
# Until its first set the service answers leap 3, and ntpd (fed by it alone)
# stays unsynchronised; the host then switches to chronyd (stratum 8), sets,
# answers as stratum 9, and ntpd follows at stratum 10.
# ntpd_state: ntpd's own answer as ntpdig prints it.
ntpd_state() { nsx cli timeout 5 ntpdig -t 1 "${ADDR[ntpc]}" 2>/dev/null; }
switch_after=45
if [ "$(basename "$program")" = kestrin.exe ]; then
  PROG_INI_EXTRA=$'ServerStratum=auto\r\n' prog_start own svc "$program" "${ADDR[cli]}"
else
  prog_start own svc "$program" "${ADDR[cli]}" -O \
    -a "$((switch_after * 1000)):server=${ADDR[srv]}" -a "$((switch_after * 1000 + 100)):sendnow"
fi
started=$SECONDS
expect_status own '^NTP Request sent - ' 30 1 "the first request, to a silent server"
cat >"$RUN_DIR/ntpd.conf" <<EOC
server $svc_addr iburst minpoll 3 maxpoll 4
tinker step 0 stepout 0 panic 0
disable kernel
logconfig =allall
driftfile $RUN_DIR/ntpd.drift
EOC
[ -x "$NTPD" ] || fail "no ntpd at $NTPD: run scripts/setup.sh"
spawn ntpd ntpc "${NO_CLOCK[@]}" "$NTPD" -n -x -c "$RUN_DIR/ntpd.conf" -p "$RUN_DIR/ntpd.pid" \
  -l "$RUN_DIR/ntpd.syslog"
out=$(ask) || fail "no answer before the first set"
[ "$(field "$out" leap)" = 3 ] && [ "$(field "$out" precision)" = -10 ] \
  && [ "$(field "$out" reference)" = 0000000000000000 ] || fail "answer before the first set: $out"
while [ $((SECONDS - started)) -lt $((switch_after - 5)) ]; do
  case $(ntpd_state) in *no-leap*) fail "ntpd synchronised to a service that never set: $(ntpd_state)" ;; esac
  sleep 2
done
log "ntpd before the first set: $(ntpd_state)"
[ "$(basename "$program")" = kestrin.exe ] && {
  nsx svc wine "$(dirname "$program")/app_driver.exe" set 104 "${ADDR[srv]}" \
    && nsx svc wine "$(dirname "$program")/app_driver.exe" click 102 || fail "own: cannot enter the server"
}
expect_status own '^Last set: ' 30 1 "set from chronyd"
set_at=$SECONDS
out=$(ask) || fail "no answer after the set"
log "answer after the set: $out"
[ "$(field "$out" leap) $(field "$out" stratum) $(field "$out" refid) $(field "$out" precision)" \
  = "0 9 ${ADDR[srv]} -10" ] || fail "answer after the set: $out"
# The exchange is timed to the clock's millisecond: between two namespaces it
# may take none, so only the dispersion (the set's hundredth) is sure to show.
[ "$(field "$out" rootdelay)" -ge 0 ] && [ "$(field "$out" rootdisp)" -ge 655 ] || fail "root fields: $out"
until case $(ntpd_state) in *" s10 "*no-leap*) true ;; *) false ;; esac; do
  [ $((SECONDS - set_at)) -lt 180 ] || { tail -n 20 "$RUN_DIR/ntpd.syslog" >&2; fail "ntpd did not select the service within 180 s"; }
  sleep 2
done
log "ntpd selected the service $((SECONDS - set_at)) s after its set: $(ntpd_state)"
prog_stop own

# --- ntpd's rate limit: RATE obeyed ------------------------------------------
# Fast ticks (100 a second) ask every 0.6 s at first, well over ntpd's
# average of one request in 2 s (its score decays over a burst of 2).
if [ "$(basename "$program")" != kestrin.exe ]; then
  cat >"$RUN_DIR/ntpdlim.conf" <<EOC
restrict default limited kod
limit average 0.5 burst 2 kod 1
EOC
  spawn ntpdlim lim "${NO_CLOCK[@]}" "$NTPD" -n -x -c "$RUN_DIR/ntpdlim.conf" \
    -p "$RUN_DIR/ntpdlim.pid" -l "$RUN_DIR/ntpdlim.syslog"
  deadline=$((SECONDS + 20))
  until nsx cli "$PYTHON" "$here/peer.py" ask --to "${ADDR[lim]}" >/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the rate-limiting ntpd does not answer"
  done
  prog_start kod svc "$program" "${ADDR[lim]}" -f 10
  expect_status kod '^Server asked for fewer requests \(RATE\)$' 60 2 "ntpd's RATE obeyed"
  deadline=$((SECONDS + 30))
  until grep -q '^STATE .* interval=240 ' "$RUN_DIR/kod.log"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "no doubled interval after ntpd's RATE"
    sleep 0.2
  done
  prog_stop kod
  log "against ntpd's rate limit: $(grep -c 'RATE' <(status_lines kod)) RATE, intervals $(grep '^STATE ' "$RUN_DIR/kod.log" | sed -n 's/.* interval=\([0-9]*\) .*/\1/p' | uniq | tr '\n' ' ')"
fi

# --- A zone 13 hours ahead of UTC ------------------------------------------------
# Wine reads the local clock in the zone TZ names (POSIX signs: Etc/GMT-13 is
# UTC+13).
tonga=-1,0,0,0,0,-1,0,0,0,0,-46800
hours() { date -u -d '+13 hours' '+%a %b %d %H'; }
before=$(hours)
if [ "$(basename "$program")" = kestrin.exe ]; then
  TZ=Etc/GMT-13 PROG_INI_EXTRA=$'DstRule='"$tonga"$'\r\nSTDTzName=TOT\r\n' \
    prog_start tonga svc "$program" "${ADDR[srv]}"
else
  TZ=Etc/GMT-13 prog_start tonga svc "$program" "${ADDR[srv]}" -r "$tonga"
fi
expect_status tonga '^Last set: .*   Delta: [+-]0\.0[0-9] secs$' 30 1 "set under UTC+13"
shown=$(status_lines tonga | grep '^Last set: ' | head -n1)
log "UTC+13: $shown (UTC $(date -u '+%H:%M'))"
case $shown in
  "Last set: $before:"* | "Last set: $(hours):"*) ;;
  *) fail "UTC+13: '$shown' is not 13 hours ahead of UTC ($before)" ;;
esac
prog_stop tonga

# ntpsec's ntpd, fed by chronyd: its reply to a request from a port of our
# own sets the clock as chronyd's does.
chrony_ready svc "${ADDR[ntp]}" 90
prog_start svc2 svc "$program" "${ADDR[ntp]}"
expect_status svc2 '^Last set: .*   Delta: (\+0\.0[0-2]|-0\.0[01]) secs$' 20 1 "delta from ntpd"
log "ntpd: $(status_lines svc2 | grep 'Last set' | head -n1)"
prog_stop svc2
log "PASS"
