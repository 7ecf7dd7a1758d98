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
setup=$1 driver=$2 prefix=$3
CHRONYC=$(dirname "$CHRONYD")/../bin/chronyc

run_begin ntsservice
net_create 18 svc srv
name=nts.kestrin.test
net_hosts svc "${ADDR[srv]} $name"
pki=$RUN_DIR/pki
mkdir -p "$pki"
for c in ca otherca; do
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 \
    -subj "/CN=Kestrin test $c" -keyout "$pki/$c.key" -out "$pki/$c.pem" 2>/dev/null
done
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$name" \
  -keyout "$pki/srv.key" -out "$pki/srv.csr" 2>/dev/null
printf 'subjectAltName=DNS:%s\n' "$name" > "$pki/srv.ext"
openssl x509 -req -in "$pki/srv.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
  -days 30 -extfile "$pki/srv.ext" -out "$pki/srv.pem" 2>/dev/null || fail "certificates"
cat > "$RUN_DIR/chrony.conf" <<EOC
local stratum 8
allow
port 123
ntsport 4460
ntsservercert $pki/srv.pem
ntsserverkey $pki/srv.key
ntsprocesses 0
cmdport 0
bindcmdaddress $RUN_DIR/chronyd.sock
pidfile $RUN_DIR/chrony.pid
EOC
spawn chrony srv "${NO_CLOCK[@]}" "$CHRONYD" -x -d -u root -f "$RUN_DIR/chrony.conf"
chrony_ready svc "${ADDR[srv]}" 20
serverstat() {
  nsx srv "$CHRONYC" -h "$RUN_DIR/chronyd.sock" serverstats 2>&1 | sed -n "s/^$1 *: *//p"
}
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

printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\nLogFile=kestrin.csv\r\nNTS=1\r\nNTSRootCerts=Z:%s\r\n' \
  "$name" "${pki//\//\\}\\ca.pem" > "$drive_c/windows/KESTRIN.INI"
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
ke=$(serverstat 'NTS-KE connections accepted') auth=$(serverstat 'Authenticated NTP packets')
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
