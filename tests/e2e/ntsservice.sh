#!/usr/bin/env bash
# The Windows service with NTS: installed silently from settings with NTS=1
# and a test CA as the extra roots, it sets the clock from chronyd as an
# NTS server with no window open, its status saying NTS=1; an administrator
# pointing NTSRootCerts (through the channel) at another CA's file beside
# the service's KESTRIN.INI makes the next exchange fail with its status
# text and log line, nothing set; the test CA's file there sets again.
# Usage: ntsservice.sh SETUP_EXE DRIVER_EXE WINEPREFIX
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/../../scripts/lib/ntsservers.sh"
setup=$1 driver=$2 prefix=$3

run_begin ntsservice
net_create 18 svc srv
name=nts.kestrin.test
net_hosts svc "${ADDR[srv]} $name"
pki=$RUN_DIR/pki
nts_server svc "$name" otherca
wine_prepare svc "$prefix"
drive_c=$WINEPREFIX/drive_c
svc_dir=$drive_c/ProgramData/Kestrin
svc_log=$svc_dir/kestrin.csv
drv() { nsx svc timeout 30 wine "$driver" "$@" | tr -d '\r'; }
field() { sed -n "s/^$1=//p" <<<"$2"; }
# ask_and_wait REGEX WHAT: asks for an exchange (again while the service's
# spacing holds it back) until the status matches, 60 s at most.
ask_and_wait() {
  local deadline=$((SECONDS + 60)) status
  drv pipe 'SENDNOW\nEND\n' >/dev/null
  until status=$(drv pipe 'STATUS\nEND\n'); grep -qE "^Status=$1" <<<"$status"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "$2: status '$(field Status "$status")'"
    sleep 1
    [ -n "$(field NextAsk "$status")" ] || drv pipe 'SENDNOW\nEND\n' >/dev/null
  done
}
trap 'nsx svc timeout 30 wine sc stop Kestrin >/dev/null 2>&1; run_end' EXIT

printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\nLogFile=kestrin.csv\r\n%s\n' \
  "$name" "$(nts_ini_roots)" > "$drive_c/windows/KESTRIN.INI"
log "installing silently, with the service"
nsx svc timeout 120 wine "$setup" /S '/D=C:\Kestrin' || fail "the installer failed"
[ -f "$drive_c/Kestrin/KESTNTS.DLL" ] || fail "KESTNTS.DLL was not installed"

deadline=$((SECONDS + 60))
until cat "$svc_log" 2>/dev/null | tr -d '\r' | grep -q ',accepted,set$'; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no authenticated set by the service: $(tail -n 3 "$svc_log" 2>/dev/null)"
  sleep 0.5
done
log "the service set the clock: $(tr -d '\r' < "$svc_log" | grep ',accepted,set$' | head -n1)"
status=$(drv pipe 'STATUS\nEND\n')
[ "$(field NTS "$status")" = 1 ] || fail "the service's status does not say NTS=1: $status"
ke=$(nts_serverstat 'NTS-KE connections accepted') auth=$(nts_serverstat 'Authenticated NTP packets')
log "chronyd: NTS-KE connections $ke, authenticated NTP packets $auth"
[ "$ke" -ge 1 ] && [ "$auth" -ge 1 ] || fail "chronyd saw no key exchange or no authenticated request"

# Another CA's roots, beside the service's KESTRIN.INI: refused, nothing set.
cp "$pki/otherca.pem" "$svc_dir/other.pem"
cp "$pki/ca.pem" "$svc_dir/roots.pem"
[ "$(drv pipe 'SET\nNTSRootCerts=other.pem\nEND\n' | head -n1)" = OK ] || fail "SET NTSRootCerts refused"
sets=$(tr -d '\r' < "$svc_log" | grep -c ',accepted,set$')
ask_and_wait 'NTS: certificate not trusted$' "the other CA's certificate"
tr -d '\r' < "$svc_log" | grep -q ',nts,NTS: certificate not trusted$' || fail "the log does not name the refusal"
[ "$(tr -d '\r' < "$svc_log" | grep -c ',accepted,set$')" = "$sets" ] || fail "a set without a trusted certificate"
[ "$(field NTSRootCerts "$(drv pipe 'STATUS\nEND\n')")" = other.pem ] || fail "the status does not carry NTSRootCerts"
grep -q '^NTSRootCerts=other.pem' "$svc_dir/KESTRIN.INI" || fail "the change was not saved"
log "other CA: refused, '$(tr -d '\r' < "$svc_log" | grep -m1 ',nts,')'"

# The test CA's file by a relative name: authenticated sets again.
[ "$(drv pipe 'SET\nNTSRootCerts=roots.pem\nEND\n' | head -n1)" = OK ] || fail "SET NTSRootCerts refused"
ask_and_wait 'Last set: ' "a set with the roots beside KESTRIN.INI"
log "PASS"
