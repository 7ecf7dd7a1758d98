#!/usr/bin/env bash
# An on-path attacker between the client and chronyd moves the server's
# times 1000 s ahead. Without NTS the plain client takes the reply: its
# status line shows the attempt to set the clock 1000 s ahead (which Wine
# refuses to do). With NTS (the time service with NTS=1, then KESTNTS.DLL
# through ntsprobe.exe; the key exchange relayed untouched) no reply is
# taken and each is refused as not authentic.
# Usage: onpath.sh TESTHOST.exe NTSPROBE.exe KESTNTS.DLL WINEPREFIX
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/../../scripts/lib/ntsservers.sh"
source "$here/program.sh"
host_exe=$1 probe=$2 dll=$3 prefix=$4

run_begin onpath
net_create 16 cli srv mitm
name=nts.kestrin.test
# The client knows the server's name; on this network it leads to the relay.
net_hosts cli "${ADDR[mitm]} $name"
pki=$RUN_DIR/pki
nts_server cli "$name"
spawn relay mitm "$PYTHON" "$here/onpath.py" "${ADDR[mitm]}" "${ADDR[srv]}" 1000 150
expect_line "$RUN_DIR/relay.log" '^relaying' 10 1 "the relay"
wine_prepare cli "$prefix"

# Plain SNTP through the relay: the reply is taken and the program tries to
# set the clock 1000 s ahead.
csv=$RUN_DIR/exchanges.csv
prog_start plain cli "$host_exe" "$name" -E "Z:${csv//\//\\}"
expect_status plain '^Set Time error ' 30 1 "the plain client taking the moved reply"
log "plain: $(status_lines plain | grep -m1 'Set Time error')"
expect_line "$RUN_DIR/relay.log" 'moved \+1000 s' 5 1 "the relay moving a reply"
prog_stop plain
# Its exchange log: the moved reply accepted, offset 1000 s, the set tried.
taken=$(tr -d '\r' < "$csv" | awk -F, '$9 == "accepted" && $7 > 999 && $7 < 1001' | head -n1)
[ -n "$taken" ] || fail "the exchange log shows no accepted reply 1000 s ahead"
log "plain exchange log: $taken"

# The time service with NTS=1 through the same relay: the key exchange
# passes, no reply authenticates, the clock is never set.
cp "$host_exe" "$probe" "$dll" "$RUN_DIR/"
prog_start engine cli "$RUN_DIR/$(basename "$host_exe")" "$name" -N "Z:$pki/ca.pem" -f 20
expect_status engine '^NTS: reply not authentic$' 30 2 "the engine refusing each moved reply"
prog_stop engine
log "engine: $(status_lines engine | sort | uniq -c | tr '\n' ';')"
! status_lines engine | grep -qE '^(Set Time error|Last set)' || fail "the engine took a moved reply with NTS on"

# NTS through the same relay: the key exchange passes, no reply authenticates.
nsx cli timeout 60 wine "Z:$RUN_DIR/$(basename "$probe")" "Z:$RUN_DIR/$(basename "$dll")" "$name" 4460 \
  "Z:$pki/ca.pem" 3 2>/dev/null | tr -d '\r' > "$RUN_DIR/nts.out"
sed 's/^/  nts: /' "$RUN_DIR/nts.out" >&2
grep -q "^ke: ok server $name port 123" "$RUN_DIR/nts.out" || fail "no key exchange through the relay"
[ "$(grep -cE '^poll [0-9]: 0 NTS: reply not authentic offset (999\.9|1000\.0)' "$RUN_DIR/nts.out")" = 3 ] ||
  fail "not every moved reply refused as not authentic"
grep -q '^authentic 0 of 3$' "$RUN_DIR/nts.out" || fail "a moved reply authenticated"
log "PASS"
