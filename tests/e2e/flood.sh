#!/usr/bin/env bash
# Bad input: random datagrams of 0 to 1500 bytes from several hosts and
# addresses, the server's own address among them, at thousands per second
# for a bounded time. The service must not crash, its timed request must
# still go out during the flood, its counters must add up, and it must still
# take a good reply and show it afterwards.
# Usage: flood.sh PROGRAM.exe WINEPREFIX [SECONDS] [RATE_PER_SENDER]
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2 seconds=${3:-12} rate=${4:-1500}

run_begin flood
net_create 13 svc peer f1 f2
net_alias f1 10.213.13.21
net_alias f2 10.213.13.22
wine_prepare svc "$prefix"
# A server that logs requests but never answers, so the poll interval stays
# at its 60-tick base. The test host's fast ticks (-f 2: 21 ticks a second)
# make that a timed request about every 3 s; kestrin.exe takes 60 s.
spawn peer peer "$PYTHON" "$here/peer.py" serve --silent --bind "${ADDR[peer]}" --duration 120
expect_line "$RUN_DIR/peer.log" '^ready' 10 1 "peer start"
request="^request from=${ADDR[svc]//./\\.}:[0-9]+ len=48 version=1 mode=3 "

if [ "$(basename "$program")" = kestrin.exe ]; then
  fast=() want=1
else
  fast=(-f 2) want=2
fi
prog_start flooded svc "$program" "${ADDR[peer]}" "${fast[@]}"
expect_line "$RUN_DIR/peer.log" "$request" 20 1 "first request"
if [ ${#fast[@]} -gt 0 ]; then
  expect_line "$RUN_DIR/peer.log" "$request" 10 2 "timed request before the flood"
else
  sleep $(( 60 - seconds / 2 ))  # the flood brackets the request due at 60 s
fi

seed=${E2E_SEED:-$RANDOM}
log "flooding for ${seconds}s at ${rate}/s from each of three senders (E2E_SEED=$seed)"
flood() {
  local name=$1 role=$2; shift 2
  spawn "$name" "$role" "$PYTHON" "$here/flood.py" --to "${ADDR[svc]}" --rate "$rate" \
    --duration "$seconds" --seed "$((seed + ${#RUN_PIDS[@]}))" "$@"
}
flood_t0=$(date +%s.%N)
flood flood1 f1 --from "${ADDR[f1]}" --from 10.213.13.21
flood flood2 f2 --from "${ADDR[f2]}" --from 10.213.13.22
# From the server's own address: random bytes that pass the other checks
# still answer no request.
flood flood3 peer --from "${ADDR[peer]}" --src-port 0
for f in flood1 flood2 flood3; do
  expect_line "$RUN_DIR/$f.log" '^flood done' $(( seconds + 15 )) 1 "$f end"
  log "$f: $(tail -n1 "$RUN_DIR/$f.log")"
done
flood_t1=$(date +%s.%N)
during=$(grep -E "$request" "$RUN_DIR/peer.log" | sed 's/.* t=//' |
  awk -v a="$flood_t0" -v b="$flood_t1" '$1 >= a && $1 <= b' | wc -l)
log "timed requests during the flood: $during"
[ "$during" -ge "$want" ] || fail "timed requests stopped during the flood ($during in ${seconds}s)"

prog_alive flooded || fail "the program died under the flood"
# The program asks for a receive buffer beyond the system's default, and
# the socket under Wine has it.
rb=$(nsx svc ss -uamnH 'sport = :123' | sed -n 's/.*rb\([0-9]*\).*/\1/p' | head -n1)
[ "${rb:-0}" -gt "$(cat /proc/sys/net/core/rmem_default)" ] || fail "receive buffer ${rb:-?} not enlarged"
# The service still reads and shows a good reply: one to the latest request
# (a timed request that goes out just before it arrives leaves it unmatched,
# so up to three tries).
good='^Last set: .*   Delta: \+0\.(09|1[0-2]) secs$'
for try in 1 2 3; do
  nsx peer "$PYTHON" "$here/peer.py" push --from "${ADDR[peer]}" --any-port --to "${ADDR[svc]}" \
    --to-port "$(last_port "$RUN_DIR/peer.log")" --originate "$(last_tx "$RUN_DIR/peer.log")" \
    --received "$(last_rx "$RUN_DIR/peer.log")" \
    --offset 0.1 >/dev/null
  wait_for_status flooded "$good" 5 && break
done
expect_status flooded "$good" 1 1 "good reply after the flood"

# Counters: every datagram the service answered or rejected was received,
# answers seen by the flooders were sent, and so was every request.
if ! read -r sent received broadcast rejected < <(prog_stats flooded); then
  log "no counters to check"; prog_stop flooded; log "PASS"; exit 0
fi
requests=$(grep -cE "$request" "$RUN_DIR/peer.log")
log "counters: sent=$sent received=$received broadcast=$broadcast rejected=$rejected"
answers=0
for f in flood1 flood2; do
  answers=$(( answers + $(sed -n 's/.* answers=\([0-9]*\).*/\1/p' "$RUN_DIR/$f.log") ))
done
[ "$received" -ge $(( rejected + sent - requests + 1 )) ] \
  || fail "received < rejected + answers + the accepted reply"
[ "$received" -ge "$broadcast" ] || fail "received < broadcast"
[ "$sent" -ge $(( answers + requests )) ] \
  || fail "sent ($sent) < answers seen ($answers) + requests ($requests)"
[ "$rejected" -gt 0 ] || fail "nothing rejected under a flood of random data"
prog_stop flooded
log "PASS"
