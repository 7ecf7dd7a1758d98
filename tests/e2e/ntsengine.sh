#!/usr/bin/env bash
# The time service with NTS=1 against chronyd and ntpsec's ntpd as NTS
# servers, with a test CA given as the extra roots file: it sets the clock
# from each after one key exchange, and chronyd counts every poll as an
# authenticated request; a key exchange that names its NTP server by a
# host name of its own sends NTP to that host's address; a certificate from
# another CA is refused with its status text and nothing is set. Runs on the test host (counters visible,
# fast ticks) and, when given, on kestrin.exe with NTS=1 in its INI file.
# Usage: ntsengine.sh TESTHOST.exe KESTNTS.DLL WINEPREFIX [KESTRIN.exe]
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/../../scripts/lib/ntsservers.sh"
source "$here/../../bench/ntpservers.sh"
source "$here/program.sh"
host_exe=$1 dll=$2 prefix=$3 app_exe=${4:-}

run_begin ntsengine
net_create 17 cli srv ntpd ref tap named
name=nts.kestrin.test
# named.kestrin.test's key exchange names ntp.kestrin.test, a second
# address of the same chronyd.
ntp_addr=10.213.17.40
# tap.kestrin.test leads to chronyd through a relay that moves nothing and
# logs the cookie of each request.
net_hosts cli "${ADDR[srv]} $name" "${ADDR[ntpd]} ntpd.kestrin.test" "${ADDR[tap]} tap.kestrin.test" \
  "${ADDR[named]} named.kestrin.test" "$ntp_addr ntp.kestrin.test"
pki=$RUN_DIR/pki
nts_ca ca otherca
nts_cert srv ca "$name" tap.kestrin.test
nts_cert ntpd ca ntpd.kestrin.test
nts_cert named ca named.kestrin.test

nts_chronyd chrony srv srv
chrony_ready cli "${ADDR[srv]}" 20
spawn tap tap "$PYTHON" "$here/onpath.py" "${ADDR[tap]}" "${ADDR[srv]}" 0 200
expect_line "$RUN_DIR/tap.log" '^relaying' 10 1 "the tap"
wine_prepare cli "$prefix"
# KESTNTS.DLL is found beside the program.
run_copy() { cp "$1" "$dll" "$RUN_DIR/"; printf '%s' "$RUN_DIR/$(basename "$1")"; }
host=$(run_copy "$host_exe")

# A chronyd whose key exchange names ntp.kestrin.test for NTP: looked up,
# and the requests go to that address.
net_alias named "$ntp_addr"
nts_chronyd named named named "ntsntpserver ntp.kestrin.test"
chrony_ready cli "$ntp_addr" 20
csv=$RUN_DIR/named.csv
prog_start named cli "$host" named.kestrin.test -N "Z:$pki/ca.pem" -f 20 -E "Z:${csv//\//\\}"
expect_status named '^Last set: ' 30 1 "a set through the NTP server the key exchange named"
prog_stop named
tr -d '\r' < "$csv" | grep -q ",$ntp_addr,.*,accepted,set\$" ||
  fail "no set from the named NTP server's address: $(tail -n 2 "$csv")"

# Three polls from chronyd with NTS (through the tap): one key exchange,
# each poll an authenticated request with a cookie never sent before,
# answered, and the clock set (within Wine's 0.5 s).
csv=$RUN_DIR/exchanges.csv
prog_start chrony cli "$host" tap.kestrin.test -N "Z:$pki/ca.pem" -f 20 -E "Z:${csv//\//\\}"
expect_status chrony '^NTS: key exchange with tap\.kestrin\.test$' 20 1 "the key exchange's status"
expect_status chrony '^Last set: ' 30 3 "three sets from chronyd with NTS"
prog_stop chrony
ke=$(nts_serverstat 'NTS-KE connections accepted') auth=$(nts_serverstat 'Authenticated NTP packets')
log "chronyd: NTS-KE connections $ke, authenticated NTP packets $auth"
[ "$ke" = 1 ] || fail "chronyd saw $ke key exchanges, not one"
[ "${auth:-0}" -ge 3 ] || fail "chronyd saw $auth authenticated requests, not three or more"
[ "$(tr -d '\r' < "$csv" | awk -F, '$9 == "accepted" && $10 == "set"' | wc -l)" -ge 3 ] ||
  fail "the exchange log shows fewer than three authenticated sets"
cookies=$(sed -n 's/^request from .*: cookie //p' "$RUN_DIR/tap.log")
log "cookies on the wire: $(printf '%s\n' "$cookies" | wc -l), each once: $(printf '%s\n' "$cookies" | sort | uniq -d | wc -l) repeated"
[ "$(printf '%s\n' "$cookies" | grep -c .)" -ge 3 ] || fail "the tap saw fewer than three cookies"
[ -z "$(printf '%s\n' "$cookies" | sort | uniq -d)" ] || fail "a cookie went twice on the wire"

# A certificate from another CA: refused with its status text, never set.
csv=$RUN_DIR/otherca.csv
prog_start otherca cli "$host" "$name" -N "Z:$pki/otherca.pem" -f 20 -E "Z:${csv//\//\\}"
expect_status otherca '^NTS: certificate not trusted$' 30 2 "the refused certificate, at each poll"
prog_stop otherca
tr -d '\r' < "$csv" | grep -q ',nts,NTS: certificate not trusted$' || fail "the exchange log does not name the refusal"
! status_lines otherca | grep -qE '^(Last set|Set Time error|NTP Request sent)' ||
  fail "otherca: a request went or the clock was set without a trusted certificate"

# kestrin.exe itself with NTS=1 and the roots file in KESTRIN.INI.
if [ -n "$app_exe" ]; then
  app=$(run_copy "$app_exe")
  kes=$(nts_serverstat 'NTS-KE connections accepted')
  cp "$(dirname "$app_exe")"/{BWCC32.DLL,app_driver.exe,app_hook.dll} "$RUN_DIR/" 2>/dev/null
  PROG_INI_EXTRA=$(nts_ini_roots) prog_start app cli "$app" "$name"
  expect_status app "^NTS: key exchange with $name\$" 30 1 "kestrin.exe's key exchange"
  expect_status app '^Last set: ' 30 1 "kestrin.exe set from chronyd with NTS"
  log "kestrin.exe: $(status_lines app | grep -m1 '^Last set')"
  prog_stop app; prog_stop app.prog
  [ "$(nts_serverstat 'NTS-KE connections accepted')" = $((kes + 1)) ] || fail "kestrin.exe made not one key exchange"
fi

# ntpsec's ntpd as the NTS server, fed by chronyd so that it is synchronised.
ref_chronyd ref "${ADDR[ref]}"
nts_ntpd ntpd cli "${ADDR[ref]}"
prog_start ntpsec cli "$host" ntpd.kestrin.test -N "Z:$pki/ca.pem" -f 20
expect_status ntpsec '^Last set: ' 30 2 "two sets from ntpsec's ntpd with NTS"
prog_stop ntpsec
grep -E 'NTS-KE from' "$RUN_DIR/ntpd.syslog" | head -n 2 >&2
grep -q 'NTS-KE from' "$RUN_DIR/ntpd.syslog" || fail "ntpd's log shows no NTS-KE session"
log "PASS"
