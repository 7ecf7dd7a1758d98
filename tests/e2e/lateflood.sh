#!/usr/bin/env bash
# Replies that waited behind a flood: junk datagrams too long to be read
# (61 to 1500 bytes) from two hosts, faster than the program can take them
# from its socket, while it asks chronyd (Set Time every 2 s). A reply that
# waited behind the junk has a destination time late by its wait: none may
# set the clock (no accepted line of the exchange log has an offset over
# 50 ms: chronyd serves this host's own clock, so the offset is the error
# the set would carry, half a wait behind the junk; one held up is refused
# for its delay), and Set Time once the junk
# has been read sets within 0.02 s of chronyd, which serves this host's own
# clock. The junk carries no reply and no request, so the exchange log
# holds chronyd's exchanges only.
# Usage: lateflood.sh PROGRAM.exe WINEPREFIX [SECONDS] [RATE_PER_SENDER]
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2 seconds=${3:-20} rate=${4:-5000}

run_begin lateflood
net_create 16 svc srv f1 f2
net_alias f1 10.213.16.21
chrony_server chrony srv
wine_prepare svc "$prefix"
csv=$RUN_DIR/exchanges.csv
near='^Last set: .*   Delta: [+-]0\.0[0-2] secs$'
outcome='^(Last set: |Set Time error |Clock NOT Set: |NTP Reply rejected$)'
chrony_ready svc "${ADDR[srv]}" 30
PROG_LOG=$csv prog_start late svc "$program" "${ADDR[srv]}"
expect_status late "$near" 30 1 "the first exchange with chronyd"

# server_lines: chronyd's lines of the exchange log as "delay verdict action offset".
server_lines() {
  cat "$csv.old" "$csv" 2>/dev/null | tr -d '\r' |
    awk -F, -v a="${ADDR[srv]}" 'NF >= 10 && $2 == a { print $8, $9, $10, $7 }'
}
# queued: bytes waiting in the program's socket.
queued() { nsx svc ss -uanH 'sport = :123' | awk '{ s += $2 } END { print s + 0 }'; }

seed=${E2E_SEED:-$RANDOM}
log "junk for ${seconds}s at ${rate}/s from each of three senders (E2E_SEED=$seed)"
n=0
for from in "f1 ${ADDR[f1]}" "f1 10.213.16.21" "f2 ${ADDR[f2]}"; do
  set -- $from
  n=$((n + 1))
  spawn "junk$n" "$1" "$PYTHON" "$here/flood.py" --from "$2" --to "${ADDR[svc]}" --rate "$rate" \
    --duration "$seconds" --min-len 61 --seed $((seed + n))
done
deepest=0
for i in $(seq $((seconds / 2))); do
  sleep 2
  q=$(queued); [ "$q" -gt "$deepest" ] && deepest=$q
  send_now late svc
done
for n in 1 2 3; do
  expect_line "$RUN_DIR/junk$n.log" '^flood done' $((seconds + 30)) 1 "junk $n end"
  log "junk $n: $(tail -n1 "$RUN_DIR/junk$n.log")"
done
log "deepest queue seen: $deepest bytes"
prog_alive late || fail "the program died under the junk"

# Read to its end, then Set Time: in time again, and set from chronyd.
for i in $(seq 600); do [ "$(queued)" = 0 ] && break; sleep 0.1; done
[ "$(queued)" = 0 ] || fail "the program does not read its socket to the end"
shown=$(status_lines late | grep -cE "$outcome")
send_now late svc
expect_status late "$outcome" 20 $((shown + 1)) "Set Time after the junk answered"
last=$(status_lines late | grep -E "$outcome" | tail -n1)
log "Set Time after the junk: $last"
[[ $last =~ $near ]] || fail "Set Time after the junk did not set within 0.02 s: $last"

lines=$(server_lines)
log "chronyd's exchanges by verdict: $(awk '{ print $2 }' <<< "$lines" | sort | uniq -c | tr -s ' ' | tr '\n' ';')"
log "chronyd's exchanges (delay s, verdict, action, offset s): $(tr '\n' ';' <<< "$lines")"
late=$(awk '$2 == "accepted" && ($4 > 0.050 || $4 < -0.050)' <<< "$lines")
[ -z "$late" ] || fail "replies that waited were taken (delay verdict action offset): $(head -n3 <<< "$late" | tr '\n' ';')"
# The junk goes to port 123 and the replies to each request's own port: a
# reply held up behind it is refused for its delay (the Wine test of the
# queue's bound holds one up at the exchange's socket itself); none held up
# is the port of its own doing its part.
if awk '$2 == "delay" { found = 1 } END { exit !found }' <<< "$lines"; then
  log "replies held up behind the junk were refused for their delay"
else
  log "no reply was held up: the junk at port 123 (deepest queue $deepest bytes) never reached the requests' own ports"
fi
prog_stop late
log "PASS"
