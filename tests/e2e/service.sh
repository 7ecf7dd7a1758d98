#!/usr/bin/env bash
# The Windows service end to end: a silent install with the service into a
# fresh copy of the prefix inside the test namespaces; the service sets the
# clock from chronyd and answers ntpdig with no window open, its relative
# LogFile in its own folder; its channel refuses bad input and stays up;
# kestrin -s, -h -s and -h in front of it end by themselves; -i reaches the
# service for one exchange with a scripted server 7200 s ahead, -s ends
# non-zero when the server never answers; the window opened afterwards is
# its front (the service's status line, Stats with its counts, fields that
# follow another client's change, Set Time keeping that change and starting
# the counts again) and binds no port 123; a change the service cannot save
# or that its file would cut is refused whole; a stop ends the service
# within 2 s and the window runs alone (port 123 its own) until the service
# is back, then hands the port over, as a window started before the service
# does; the uninstaller leaves no service and no files but the settings,
# and the service's settings are the window's.
# The channel is the service's: another program that took the pipe's name
# first does not stop it setting the clock (it says so in the event log and
# takes the name once free); a client holding one pipe instance keeps no
# other out; twenty asks for an exchange send at most two requests.
# Usage: service.sh SETUP_EXE DRIVER_EXE WINEPREFIX
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
setup=$1 driver=$2 prefix=$3

run_begin service
net_create 14 svc srv cli
net_hosts svc "${ADDR[srv]} timesrv.kestrin.test timesrv"
chrony_server chrony srv
# Wine writes the service's event-log lines to standard error on this channel.
export WINEDEBUG=-all,warn+eventlog
# Scripted servers beside ntpdig: one 7200 s ahead, one that never answers.
ahead=10.213.14.30 silent=10.213.14.31
net_alias cli "$ahead"
net_alias cli "$silent"
spawn ahead cli "$PYTHON" "$here/peer.py" serve --bind "$ahead" --offset 7200 --duration 290
spawn silent cli "$PYTHON" "$here/peer.py" serve --bind "$silent" --silent --duration 290
wine_prepare svc "$prefix"
drive_c=$WINEPREFIX/drive_c
svc_ini=$drive_c/ProgramData/Kestrin/KESTRIN.INI
svc_log=$drive_c/ProgramData/Kestrin/kestrin.csv
# A settings file made unchangeable below must not outlive the run.
trap 'rc=$?; chattr -i "$svc_ini" 2>/dev/null; (exit $rc); run_end' EXIT

drv() { nsx svc timeout 30 wine "$driver" "$@" | tr -d '\r'; }
service_status() { drv pipe 'STATUS\nEND\n'; }
# The value of KEY in the service's last status reply.
field() { sed -n "s/^$1=//p" <<<"$2"; }
service_running() {
  local pid
  for pid in $(ns_pids svc); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = kestrinsvc.exe ] && return 0
  done
  return 1
}
# UDP datagrams the namespace of ROLE took in: at srv, only chronyd listens.
udp_in() { nsx "$1" awk '/^Udp: [0-9]/ { print $2 }' /proc/net/snmp; }
# The program holding UDP port 123 in the service's namespace, if any. Wine
# keeps a socket's descriptor in the wineserver and gives the program a copy
# only when it uses the socket: a request to the port first makes its holder
# read, and so show.
port_owner() {
  nsx cli timeout 3 ntpdig -t 1 "${ADDR[svc]}" >/dev/null 2>&1
  nsx svc ss -uanp 'sport = :123' | grep -o '"kestrin[a-z]*\.exe"' | sort -u | tr -d '"'
}
# wait_owner WANT SECONDS: until port_owner prints WANT ("" for nobody).
wait_owner() {
  local deadline=$((SECONDS + $2))
  until [ "$(port_owner)" = "$1" ]; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
# An ask for an exchange that goes: one held back by the service's spacing
# is asked again when the service says it may go.
send_now() {
  local reply next try
  for try in 1 2 3; do
    reply=$(drv pipe 'SENDNOW\nEND\n')
    next=$(field NextAsk "$reply")
    [ -z "$next" ] && return 0
    sleep "$next"
  done
  fail "the service held back three asks in a row: $reply"
}
# The window's field ID as it shows now.
field_text() { drv text "$1"; }
# front_run SECONDS ARGS...: kestrin.exe with ARGS, bounded; its exit status
# lands in RC (124: it did not end by itself).
front_run() {
  local secs=$1; shift
  nsx svc timeout "$secs" wine 'C:\Kestrin\kestrin.exe' "$@" >>"$RUN_DIR/front.log" 2>&1
  RC=$?
}
# wait_accepted COUNT SECONDS: until the service has accepted more than COUNT.
wait_accepted() {
  local deadline=$((SECONDS + $2))
  until [ "$(field Accepted "$(service_status)")" -gt "$1" ] 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# The user's settings, from which the installer seeds the service's; a
# relative exchange log.
printf '[KESTRIN]\r\nNTPServer=timesrv\r\nPollInterval=60\r\nMaxDelta=100\r\nLogFile=kestrin.csv\r\n' \
  > "$drive_c/windows/KESTRIN.INI"

# Another program takes the channel's name before the service starts, and
# answers every request with its own text.
planted='OK\nStatus=PLANTED by another program\nEND\n'
spawn standin svc wine "$driver" standin 90 "$planted"
standin=$LAST_PID
expect_line "$RUN_DIR/standin.log" 'holding the name' 60 1 "the stand-in"
log "installing silently, with the service"
nsx svc timeout 120 wine "$setup" /S '/D=C:\Kestrin' || fail "the installer failed"
grep -q '^NTPServer=timesrv' "$drive_c/ProgramData/Kestrin/KESTRIN.INI" \
  || fail "the service's KESTRIN.INI was not seeded"

# Without its channel the service keeps the clock, and says why in the log.
deadline=$((SECONDS + 60))
until grep -q ',set' "$svc_log" 2>/dev/null; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no set while another program held the channel's name"
  sleep 0.2
done
log "without its channel the service set the clock: $(grep ',set' "$svc_log" | tail -n1)"
grep -q 'cannot make its channel' "$RUN_DIR/wine-services.log" \
  || fail "no event-log line about the channel: $(tail -n 5 "$RUN_DIR/wine-services.log")"
log "event log: $(grep -m1 -o 'cannot make its channel.*' "$RUN_DIR/wine-services.log")"
reply=$(drv pipe 'STATUS\nEND\n')
grep -q PLANTED <<<"$reply" || fail "the stand-in does not hold the name: $reply"
kill "$standin" 2>/dev/null
wait "$standin" 2>/dev/null
# Its retries take the name once it is free, and its status says how long
# it went without.
deadline=$((SECONDS + 30))
until status=$(drv pipe-once 'STATUS\nEND\n' 2>/dev/null) && [ -n "$(field NoChannel "$status")" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the service did not take its channel once free: $status"
  sleep 0.2
done
[ "$(field NoChannel "$status")" -gt 0 ] || fail "the service reports no time without its channel"
log "the service took its channel after $(field NoChannel "$status") s without"

# The service alone: it looks the server up, asks and sets.
deadline=$((SECONDS + 60))
until status=$(service_status) && [[ "$(field Status "$status")" == "Last set: "* ]]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the service did not set from chronyd: $status"
  sleep 0.2
done
log "service: $(field Status "$status")"
# One request for the first set: the lookup's completion and the start's
# own ask make one exchange.
[ "$(udp_in srv)" = 1 ] && [ "$(field Rejected "$status")" = 0 ] \
  || fail "first set: $(udp_in srv) datagrams reached chronyd, $(field Rejected "$status") rejected; want 1, 0"
[[ "$(field Status "$status")" =~ Delta:\ (\+0\.0[0-2]|-0\.0[01])\ secs$ ]] \
  || fail "the service's delta from chronyd: $(field Status "$status")"
service_running || fail "no kestrinsvc.exe runs"
# The relative log: in the service's folder, beside its KESTRIN.INI.
[ -s "$drive_c/ProgramData/Kestrin/kestrin.csv" ] \
  || fail "no exchange log in the service's folder ($(ls "$drive_c/windows"/kestrin.csv 2>&1))"
log "relative LogFile: $(wc -l < "$drive_c/ProgramData/Kestrin/kestrin.csv") line(s) in ProgramData\\Kestrin"

out=$(nsx cli timeout 10 ntpdig -t 3 "${ADDR[svc]}" 2>&1) || fail "ntpdig got no answer from the service: $out"
stratum=$(grep -oE ' s[0-9]+ ' <<<"$out" | tr -d ' s')
[ "$stratum" = 15 ] || fail "ntpdig: stratum $stratum from the service, want 15: $out"
log "ntpdig, no window open: $out"

# The channel under bad input: no reply, or BAD; the service answers after.
reply=$(drv pipe '') || fail "no pipe"
[[ "$reply" == ms=* ]] || fail "a client that never sends got a reply: $reply"
reply=$(drv pipe 'STATUS\nEND\n' 5)
[[ "$reply" == ms=* ]] || fail "a cut request was answered: $reply"
[ "$(drv pipe '\x01\x02\xffgarbage\nEND\n' | head -n1)" = BAD ] || fail "garbage was not refused"
[ "$(drv pipe "SET\nNTPServer=$(printf 'x%.0s' {1..600})\nEND\n" | head -n1)" = BAD ] \
  || fail "a long request was not refused"
status=$(service_status)
[ "$(head -n1 <<<"$status")" = OK ] || fail "the service stopped answering after bad input: $status"
log "channel: silence, a cut request, garbage and a long request refused; still answering"

# A client that holds one pipe instance, again as soon as it is let go,
# keeps nobody else out: each single try gets the service.
spawn holder svc wine "$driver" hold 10
holder=$LAST_PID
expect_line "$RUN_DIR/holder.log" 'holding an instance' 30 1 "the holding client"
for try in 1 2 3 4 5; do
  reply=$(drv pipe-once 'STATUS\nEND\n') || fail "try $try: a client holding one instance kept another out"
  [ "$(head -n1 <<<"$reply")" = OK ] || fail "try $try: $reply"
done
wait "$holder"
log "five single tries while another client held an instance: all answered ($(cat "$RUN_DIR/holder.log" | tr -d '\r' | tail -n1))"

# Twenty asks for an exchange in a row: at most two requests leave (the
# service counts each request it sends).
sent=$(field Sent "$(service_status)")
start=$(date +%s%N)
asks=$(drv asks 20) || fail "the asks were not answered"
ms=$((($(date +%s%N) - start) / 1000000))
sent_after=$(field Sent "$(service_status)")
[ "$(grep -c '^OK ' <<<"$asks")" = 20 ] || fail "not every ask was answered OK: $asks"
[ $((sent_after - sent)) -le 2 ] || fail "20 asks sent $((sent_after - sent)) requests"
log "20 asks in ${ms} ms: $((sent_after - sent)) request(s) sent; the last told: $(tail -n1 <<<"$asks")"
# The window's Set Time below must be let through: wait as the service said.
next=$(tail -n1 <<<"$asks" | sed -n 's/.*NextAsk=\([0-9]*\).*/\1/p')
[ -n "$next" ] && [ "$next" -le 15 ] && sleep "$next"

# A change the service cannot save is refused whole: the file stays, and
# so do the settings it runs with.
cp "$svc_ini" "$RUN_DIR/ini.before"
chattr +i "$svc_ini" || fail "cannot make the service's KESTRIN.INI unchangeable"
reply=$(drv pipe 'SET\nMaxDelta=777\nEND\n')
chattr -i "$svc_ini"
[ "$(head -n1 <<<"$reply")" = FAILED ] || fail "a change the file did not take was answered: $reply"
[ "$(field MaxDelta "$(service_status)")" = 100 ] || fail "the service runs with a change it did not save"
cmp -s "$svc_ini" "$RUN_DIR/ini.before" || fail "the refused change reached the file"
# A server list longer than the file gives back is refused, not cut later.
long=$(printf 'n%.0s' {1..100})
[ "$(drv pipe "SET\nNTPServer=$long\nEND\n" | head -n1)" = BAD ] || fail "a server list the file would cut was taken"
[ "$(field NTPServer "$(service_status)")" = timesrv ] || fail "the long server list reached the service"
log "changes: one the file would not keep answered FAILED, one it would cut BAD; neither taken"

# -s, -h -s and -h with the service there: no engine of the window's, so
# each ends by itself once the service has accepted a reply to its ask.
for args in "-s" "-h -s"; do
  accepted=$(field Accepted "$(service_status)")
  # shellcheck disable=SC2086
  front_run 60 $args
  [ "$RC" = 0 ] || fail "kestrin $args: exit status $RC (124: it did not end)"
  [ "$(field Accepted "$(service_status)")" -gt "$accepted" ] \
    || fail "kestrin $args ended before the service accepted a reply"
  log "kestrin $args: ended with 0 after the service's accepted reply"
done
front_run 60 -h
[ "$RC" = 0 ] || fail "kestrin -h: exit status $RC (124: it did not end)"
log "kestrin -h: nothing to keep running, ended with 0"

# -i reaches the service for the one exchange asked for: a server 7200 s
# ahead is beyond the limit; with -i the service tries the set (which Wine
# refuses with 1314), and the next exchange has the limit again.
[ "$(drv pipe "SET\nNTPServer=$ahead\nEND\n" | head -n1)" = OK ] || fail "cannot point the service at $ahead"
front_run 60 -s
status=$(service_status)
[ "$RC" = 0 ] && [[ "$(field Status "$status")" =~ ^Clock\ NOT\ Set:.*\+7(199|200|201)\ seconds ]] \
  || fail "kestrin -s with a server 7200 s ahead: exit $RC, status '$(field Status "$status")'"
front_run 60 -s -i
status=$(service_status)
[ "$RC" = 0 ] && [ "$(field Status "$status")" = "Set Time error 1314" ] \
  || fail "kestrin -s -i: exit $RC, status '$(field Status "$status")', want the set tried"
accepted=$(field Accepted "$status")
send_now
wait_accepted "$accepted" 15 || fail "no reply to the exchange after -i"
[[ "$(field Status "$(service_status)")" == "Clock NOT Set:"* ]] || fail "-i held past its exchange"
log "-i: the service tried the set once ($(grep -c 'not set: error 1314' "$drive_c/ProgramData/Kestrin/kestrin.csv") in its log), then kept the limit"

# A server that never answers: -h -s still ends, when its bound (two
# minutes) has passed, with a status of its own, not zero.
[ "$(drv pipe "SET\nNTPServer=$silent\nEND\n" | head -n1)" = OK ] || fail "cannot point the service at $silent"
front_run 200 -h -s
[ "$RC" != 0 ] && [ "$RC" != 124 ] || fail "kestrin -h -s against a silent server: exit status $RC, want its own non-zero one"
grep -q '^request ' "$RUN_DIR/silent.log" || fail "kestrin -h -s asked the silent server nothing"
log "kestrin -h -s, the server silent: ended by itself with $RC"
[ "$(drv pipe 'SET\nNTPServer=timesrv\nEND\n' | head -n1)" = OK ] || fail "cannot point the service at timesrv again"

log "opening the window"
wine_spawn window svc 'C:\Kestrin\kestrin.exe'
window=$LAST_PID
shown=$(drv wait-status 'Last set: ' 30) || fail "the window does not show the service's status: $shown"
status=$(service_status)
[ "$shown" = "$(field Status "$status")" ] || fail "window '$shown', service '$(field Status "$status")'"
log "window status: $shown"
sockets=$(nsx svc ss -uanp 'sport = :123')
grep -q '"kestrinsvc.exe"' <<<"$sockets" || fail "the service holds no port 123: $sockets"
grep -q '"kestrin.exe"' <<<"$sockets" && fail "the window bound port 123: $sockets"

counts=$(drv stats) || fail "no statistics dialog"
drv close stats >/dev/null || fail "the statistics dialog does not close"
status=$(service_status)
want="$(field Sent "$status") $(field Received "$status") $(field Broadcast "$status") $(field Rejected "$status")"
[ "$counts" = "$want" ] || fail "Stats shows '$counts', the service counts '$want'"
log "Stats: $counts (sent received broadcast rejected), as the service counts"

# Another client's change while the window is open: the untouched field
# follows it, and Set Time with another field edited keeps it.
[ "$(drv pipe 'SET\nPollInterval=120\nEND\n' | head -n1)" = OK ] || fail "another client's change was refused"
deadline=$((SECONDS + 10))
until [ "$(field_text 105)" = 120 ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the Initial Poll field did not follow the service: $(field_text 105)"
  sleep 0.2
done
drv set 106 250 || fail "cannot edit Max Delta"

# Set Time: the service asks chronyd now (its poll is a minute away).
before=$(udp_in srv)
status=$(service_status)
sent=$(field Sent "$status")
drv click 102 >/dev/null || fail "cannot press Set Time"
deadline=$((SECONDS + 15))
until [ "$(udp_in srv)" -gt "$before" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "Set Time: no request reached chronyd"
  sleep 0.1
done
wait_accepted "$(field Accepted "$status")" 15 || fail "Set Time: no reply accepted"
status=$(service_status)
[ "$(field PollInterval "$status")" = 120 ] && [ "$(field MaxDelta "$status")" = 250 ] \
  || fail "Set Time: the service has PollInterval=$(field PollInterval "$status") MaxDelta=$(field MaxDelta "$status"), want 120 and 250"
# The counts start again, as the window's own do: the one request.
[ "$(field Sent "$status")" = 1 ] || fail "Set Time: the counts went on ($sent before, $(field Sent "$status") now)"
log "Set Time: chronyd took a request from the service ($before -> $(udp_in srv) datagrams); the other change kept, counts from 0"


log "stopping the service"
start=$(date +%s%N)
nsx svc timeout 30 wine sc stop Kestrin >/dev/null
deadline=$((SECONDS + 10))
while service_running; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the service did not end"
  sleep 0.05
done
ms=$((($(date +%s%N) - start) / 1000000))
log "the service ended ${ms} ms after the stop was sent"
[ "$ms" -le 2000 ] || fail "the service took ${ms} ms to end, more than 2 s"
shown=$(drv wait-status 'Kestrin time service: no answer' 10) \
  || fail "the window did not notice the service is gone: $shown"
# Gone for longer than a restart: the window runs on its own, port 123 its own.
wait_owner kestrin.exe 40 \
  || fail "the window did not take port 123 on its own: '$(port_owner)'; its status: $(drv status); UDP: $(nsx svc ss -uanp | tr '\n' ' ')"
shown=$(drv wait-status 'Last set: ' 30) || fail "the window alone did not set from chronyd: $shown"
log "service stopped: the window alone holds port 123 and sets: $shown"
# handed_over: the service back, the window hands port 123 over and is
# its front again.
handed_over() {
  nsx svc timeout 30 wine sc start Kestrin >/dev/null
  local deadline=$((SECONDS + 40))
  until [ "$(port_owner)" != kestrin.exe ] && [ "$(drv status)" = "$(field Status "$(service_status)")" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the window did not hand over to the service: port '$(port_owner)', status '$(drv status)'"
    sleep 0.2
  done
}
handed_over
log "service started again: the window that ran alone handed port 123 over"
drv escape >/dev/null
deadline=$((SECONDS + 15))
while kill -0 "$window" 2>/dev/null; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the window did not end on Escape"
  sleep 0.1
done
# A window started before the service: on its own from the start, then
# the front of the service once it starts.
nsx svc timeout 30 wine sc stop Kestrin >/dev/null
deadline=$((SECONDS + 10))
while service_running; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the service did not end"
  sleep 0.05
done
wine_spawn window2 svc 'C:\Kestrin\kestrin.exe'
window=$LAST_PID
wait_owner kestrin.exe 40 || fail "a window started without the service did not take port 123: '$(port_owner)'"
handed_over
log "a window started before the service handed port 123 over when it started"
# A restart is not a stop: the window stays the front, the restarted
# service holds port 123 and answers clients on it.
nsx svc timeout 30 wine sc stop Kestrin >/dev/null
nsx svc timeout 30 wine sc start Kestrin >/dev/null
wait_owner kestrinsvc.exe 75 || fail "after the restart port 123 is '$(port_owner)', want the service's"
out=$(nsx cli timeout 10 ntpdig -t 3 "${ADDR[svc]}" 2>&1) || fail "ntpdig got no answer after the hand-over: $out"
log "the service restarted, the window still its front; ntpdig: $out"
drv escape >/dev/null
deadline=$((SECONDS + 15))
while kill -0 "$window" 2>/dev/null; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the window did not end on Escape"
  sleep 0.1
done

log "uninstalling silently"
nsx svc timeout 120 wine 'C:\Kestrin\uninstall.exe' /S
deadline=$((SECONDS + 60))
while [ -e "$drive_c/Kestrin" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the install folder is left: $(ls -A "$drive_c/Kestrin")"
  sleep 0.2
done
nsx svc timeout 30 wine sc query Kestrin >/dev/null 2>&1 && fail "the service is still registered"
left=$(cd "$drive_c/ProgramData/Kestrin" && ls -A | tr '\n' ' ')
[ "$left" = "KESTRIN.INI kestrin.csv " ] || fail "the service's folder holds '$left', want its KESTRIN.INI and log"
log "uninstalled: no service, only the service's KESTRIN.INI and log left"
# The service's settings are the window's again.
grep -q '^PollInterval=120' "$drive_c/windows/KESTRIN.INI" && grep -q '^MaxDelta=250' "$drive_c/windows/KESTRIN.INI" \
  || fail "the window's KESTRIN.INI lacks the service's settings: $(tr -d '\r' < "$drive_c/windows/KESTRIN.INI")"
log "the window's KESTRIN.INI holds the service's settings"
log "PASS"
