#!/usr/bin/env bash
# The Windows service end to end: a silent install with the service into a
# fresh copy of the prefix inside the test namespaces; the service sets the
# clock from chronyd and answers ntpdig with no window open; its channel
# refuses bad input and stays up; the window opened afterwards is its front
# (the service's status line, Stats with its counts, Set Time making the
# service ask chronyd) and binds no port 123; a stop ends the service within
# 2 s; the uninstaller leaves no service and no files but the settings.
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
wine_prepare svc "$prefix"
drive_c=$WINEPREFIX/drive_c

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

# The user's settings, from which the installer seeds the service's.
printf '[KESTRIN]\r\nNTPServer=timesrv\r\nPollInterval=60\r\nMaxDelta=100\r\n' \
  > "$drive_c/windows/KESTRIN.INI"
log "installing silently, with the service"
nsx svc timeout 120 wine "$setup" /S '/D=C:\Kestrin' || fail "the installer failed"
grep -q '^NTPServer=timesrv' "$drive_c/ProgramData/Kestrin/KESTRIN.INI" \
  || fail "the service's KESTRIN.INI was not seeded"

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

# Set Time: the service asks chronyd now (its poll is a minute away).
before=$(udp_in srv)
sent=$(field Sent "$status")
drv click 102 >/dev/null || fail "cannot press Set Time"
deadline=$((SECONDS + 15))
until [ "$(udp_in srv)" -gt "$before" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "Set Time: no request reached chronyd"
  sleep 0.1
done
status=$(service_status)
[ "$(field Sent "$status")" -gt "$sent" ] || fail "Set Time: the service counts no request"
log "Set Time: chronyd took a request from the service ($before -> $(udp_in srv) datagrams)"

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
left=$(cd "$drive_c/ProgramData/Kestrin" && ls -A)
[ "$left" = KESTRIN.INI ] || fail "the service's folder holds '$left', want only KESTRIN.INI"
log "uninstalled: no service, only the service's KESTRIN.INI left"
log "PASS"
