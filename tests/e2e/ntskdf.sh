#!/usr/bin/env bash
# The two NTS keys of KESTNTS.DLL (driven by ntsprobe.exe) are the ones
# chronyd derives: chronyd logs its TLS secrets (SSLKEYLOGFILE, read by
# GnuTLS), NTP is captured on the server's interface, and ntskeys.py works
# the keys out from the logged exporter secret alone and checks that every
# captured request authenticates under the client-to-server key and every
# reply under the server-to-client key.
# Usage: ntskdf.sh NTSPROBE.exe KESTNTS.DLL WINEPREFIX
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/../../scripts/lib/ntsservers.sh"
probe=$1 dll=$2 prefix=$3

run_begin ntskdf
net_create 27 cli srv
name=nts.kestrin.test
net_hosts cli "${ADDR[srv]} $name"
pki=$RUN_DIR/pki
# chronyd, the TLS end of the set-up, logs its secrets in keylog.
keylog=$RUN_DIR/keylog
SSLKEYLOGFILE=$keylog nts_server cli "$name"

# From here on every NTP datagram the server sends or receives.
spawn wire srv "$PYTHON" "$here/wirecap.py" eth0 40 90
wire=$LAST_PID
expect_line "$RUN_DIR/wire.log" '^capturing' 10 1 "the capture"

wine_prepare cli "$prefix"
cp "$probe" "$dll" "$RUN_DIR/"
floor=$(git -C "$here" log -1 --format=%ct 2>/dev/null || date +%s)
nsx cli timeout 60 wine "Z:$RUN_DIR/$(basename "$probe")" "Z:$RUN_DIR/$(basename "$dll")" \
  "$name" 4460 "Z:$pki/ca.pem" 2 "$floor" 2>/dev/null | tr -d '\r' > "$RUN_DIR/probe.out"
sed 's/^/  probe: /' "$RUN_DIR/probe.out" >&2
kill "$wire" 2>/dev/null
wait "$wire" 2>/dev/null

# The keys first: keys that differ from chronyd's show here by name, before
# the probe's own verdict (chronyd then answers with a NAK).
[ -s "$keylog" ] || fail "chronyd wrote no TLS key log"
"$PYTHON" "$here/ntskeys.py" "$keylog" "$RUN_DIR/wire.log" >&2 ||
  fail "the captured NTS packets do not authenticate under the keys from chronyd's exporter secret"
grep -q '^authentic 2 of 2$' "$RUN_DIR/probe.out" || fail "the probe's polls did not authenticate"
log "PASS"
