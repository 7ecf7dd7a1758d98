#!/usr/bin/env bash
# NTS through KESTNTS.DLL (driven by ntsprobe.exe) against real NTS servers
# in test namespaces, with a test CA made here: chronyd and ntpsec's ntpd
# give authenticated time with a fresh cookie each poll; replayed, altered
# and unrelated replies are refused; certificates from another CA, for
# another name, or expired by the source date's floor are refused; and NTS-KE
# answers with an error, a warning, an unknown critical record, no cookie or
# no ALPN are each refused with their reason.
# Usage: nts.sh NTSPROBE.exe KESTNTS.DLL WINEPREFIX
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/../../scripts/lib/ntsservers.sh"
source "$here/../../bench/ntpservers.sh"
probe=$1 dll=$2 prefix=$3

run_begin nts
net_create 14 cli srv ntpd fake ref
name=nts.kestrin.test
net_hosts cli "${ADDR[srv]} $name other.kestrin.test" "${ADDR[ntpd]} ntpd.kestrin.test" \
  "${ADDR[fake]} fake.kestrin.test"

# The test CA, a second CA nobody trusts, and the servers' certificates.
pki=$RUN_DIR/pki
nts_ca ca otherca
nts_cert srv ca "$name" "${ADDR[srv]}"
nts_cert ntpd ca ntpd.kestrin.test
nts_cert fake ca fake.kestrin.test
CERT_TIME="2020-01-01 00:00:00" nts_cert old ca fake.kestrin.test
CERT_TIME="$(date -u -d '+3 days' '+%F %T')" CERT_DAYS=30 nts_cert new ca fake.kestrin.test

# chronyd: NTP and NTS-KE with the test CA's certificate.
mkdir -p "$RUN_DIR/ntsdump"
nts_chronyd chrony srv srv "ntsdumpdir $RUN_DIR/ntsdump" "logdir $RUN_DIR" "log measurements"
chrony_ready cli "${ADDR[srv]}" 20

wine_prepare cli "$prefix"
cp "$probe" "$dll" "$RUN_DIR/"
probe_exe=Z:$RUN_DIR/$(basename "$probe")
dll_path=Z:$RUN_DIR/$(basename "$dll")
floor=$(git -C "$here" log -1 --format=%ct 2>/dev/null || date +%s)
# probe NAME HOST PORT ROOTS POLLS [FLOOR] [tamper]: output in NAME.out.
probe() {
  local out=$1; shift
  nsx cli timeout 60 wine "$probe_exe" "$dll_path" "$@" 2>/dev/null | tr -d '\r' > "$RUN_DIR/$out.out"
  sed "s/^/  $out: /" "$RUN_DIR/$out.out" >&2
}
has() { grep -qE -- "$2" "$RUN_DIR/$1.out" || fail "$1: no line matching '$2'"; }

# Authenticated time from chronyd, a new cookie each poll, every altered
# or repeated reply refused.
probe chrony "$name" 4460 "Z:$pki/ca.pem" 4 "$floor" tamper
has chrony "^ke: ok server $name port 123 cookies 8$"
[ "$(grep -cE '^poll [0-9]: 1 NTS: authenticated offset -?0\.[0-4][0-9]{2} stratum 8 cookies 8$' "$RUN_DIR/chrony.out")" = 4 ] ||
  fail "chrony: not four authenticated polls near zero with a full pool"
[ "$(grep -oE 'cookie [0-9a-f]{32}' "$RUN_DIR/chrony.out" | sort | uniq -d)" = "" ] || fail "a cookie sent twice"
has chrony '^poll 1: flipped: 0 NTS: reply not authentic$'
has chrony '^poll 1: replayed: 0 NTS: no request in flight$'
has chrony '^poll 2: old reply: 0 NTS: reply to another request$'
# chronyd's own count: one key exchange, every poll authenticated.
stats=$(nsx srv "$CHRONYC" -h "$RUN_DIR/chrony.sock" serverstats 2>&1)
printf '%s\n' "$stats" | grep -E 'NTS-KE|Authenticated' >&2
printf '%s\n' "$stats" | grep -qE '^NTS-KE connections accepted *: 1$' || fail "chronyd saw no one key exchange"
printf '%s\n' "$stats" | grep -qE '^Authenticated NTP packets *: 4$' || fail "chronyd saw not four authenticated requests"

# A key exchange replaced by another before it ended (the server changed):
# its end brings nothing, the second one's is taken, and polls work.
probe restart "$name" 4460 "Z:$pki/ca.pem" 1 "$floor" restart
[ "$(grep -cE "^end: 0 '' ready [01]$" "$RUN_DIR/restart.out")" = 1 ] || fail "restart: the first end was not dropped"
has restart "^end: 1 '' ready 1$"
has restart '^poll 1: 1 NTS: authenticated '

# Without the DLL NTS stops with its reason; nothing falls back to plain SNTP.
nsx cli timeout 60 wine "$probe_exe" "Z:$RUN_DIR/NOSUCH.DLL" "$name" 4460 "Z:$pki/ca.pem" 1 2>/dev/null |
  tr -d '\r' > "$RUN_DIR/nodll.out"
has nodll '^ke: NTS: KESTNTS.DLL missing or unusable$'

# Certificates: another CA, the system's roots alone, another name.
probe otherca "$name" 4460 "Z:$pki/otherca.pem" 1 "$floor"
has otherca '^ke: NTS: certificate not trusted$'
probe systemroots "$name" 4460 - 1 "$floor"
has systemroots '^ke: NTS: certificate not trusted$'
probe othername other.kestrin.test 4460 "Z:$pki/ca.pem" 1 "$floor"
has othername '^ke: NTS: certificate for another name$'

# Scripted NTS-KE servers: certificate dates, and responses to refuse.
fake() {
  local case=$1 certname=$2
  # A log of its own: a reused one could still hold the last server's line.
  spawn "fake-$case-$certname" fake "$PYTHON" "$here/ntskeserver.py" 0.0.0.0 4460 "$pki/$certname.pem" \
    "$pki/$certname.key" "$case"
  expect_line "$RUN_DIR/fake-$case-$certname.log" '^listening' 10 1 "scripted NTS-KE server ($case)"
}
stop_fake() { kill "$LAST_PID" 2>/dev/null; wait "$LAST_PID" 2>/dev/null; }
fake error old
probe expired fake.kestrin.test 4460 "Z:$pki/ca.pem" 1 "$floor"
has expired '^ke: NTS: certificate expired$'
stop_fake
fake error new
probe newer fake.kestrin.test 4460 "Z:$pki/ca.pem" 1 "$floor"
has newer '^ke: NTS: server answered an error$'
probe newer-clock fake.kestrin.test 4460 "Z:$pki/ca.pem" 1 0
has newer-clock '^ke: NTS: certificate not yet valid$'
stop_fake
for c in "error:server answered an error" "warning:server answered a warning" \
         "critical:unknown critical record" "nocookie:no cookie" "noalpn:server does not offer NTS-KE"; do
  fake "${c%%:*}" fake
  probe "ke-${c%%:*}" fake.kestrin.test 4460 "Z:$pki/ca.pem" 1 "$floor"
  has "ke-${c%%:*}" "^ke: NTS: ${c#*:}$"
  stop_fake
done

# ntpsec's ntpd as an NTS server, fed by chronyd so that it is synchronised.
ref_chronyd ref "${ADDR[ref]}"
nts_ntpd ntpd cli "${ADDR[ref]}"
probe ntpsec ntpd.kestrin.test 4460 "Z:$pki/ca.pem" 3 "$floor"
has ntpsec '^ke: ok server '
[ "$(grep -cE '^poll [0-9]: 1 NTS: authenticated offset -?0\.[0-9]{3} stratum 2 ' "$RUN_DIR/ntpsec.out")" = 3 ] ||
  fail "ntpsec: not three authenticated polls"
grep -E 'NTS-KE' "$RUN_DIR/ntpd.syslog" | head -n 3 >&2
grep -q 'NTS-KE' "$RUN_DIR/ntpd.syslog" || fail "ntpd's log shows no NTS-KE session"
log "PASS"
