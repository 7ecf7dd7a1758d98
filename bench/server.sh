#!/usr/bin/env bash
# Server bench: the highest offered rate of mode-3 requests answered with
# zero loss, found by bisection, for kestrin.exe and for chronyd in the same
# namespace on the same link, in one run. Then Kestrin under a flood above
# that rate across one of its 60 s polls: how long its thread takes to
# answer a message (a status-line read every 20 ms) and whether the poll
# still went out. Prints tables and appends "server offered_per_s
# answered_per_s loss_pct" lines to $BENCH_RESULTS/server.txt; asserts nothing.
# Usage: server.sh KESTRIN.exe WINEPREFIX [SECONDS_PER_RATE]
set -u
here=$(cd "$(dirname "$0")" && pwd)
E2E_NSPREFIX=kst-bench
source "$here/../scripts/lib/netns.sh"
source "$here/../tests/e2e/program.sh"
source "$here/ntpservers.sh"
program=$1 prefix=$2 seconds=${3:-5}
driver=$(dirname "$program")/app_driver.exe
top_rate=64000  # above what one Python sender offers

e2e_setup server
results=$E2E_DIR/results.txt
: > "$results"
net_create 22 svc cli upstream
wine_prepare svc "$prefix"

# probe WHO RATE: one paced load; succeeds when nothing was lost.
probe() {
  local who=$1 rate=$2 out
  out=$(nsx cli "$E2E_PY" "$here/loadgen.py" --from "${ADDR[cli]}" --to "${ADDR[svc]}" \
    --rate "$rate" --duration "$seconds")
  log "$who $rate/s: $out"
  awk -v w="$who" -v r="$rate" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
    print w, r, v["offered_per_s"], v["answers_per_s"], v["loss_pct"], v["sent"], v["answered"] }' \
    <<< "$out" >> "$results"
  sleep 1
  [ -n "$out" ] && [ "$(sed -n 's/.*sent=\([0-9]*\).*/\1/p' <<< "$out")" = \
    "$(sed -n 's/.*answered=\([0-9]*\).*/\1/p' <<< "$out")" ]
}

# bisect WHO: doubling from 1000/s to the first loss, then four halvings.
bisect() {
  local who=$1 good=0 bad=0 rate=1000 mid i
  while [ "$rate" -le "$top_rate" ]; do
    if probe "$who" "$rate"; then good=$rate; rate=$((rate * 2)); else bad=$rate; break; fi
  done
  if [ "$bad" -gt 0 ]; then
    for i in 1 2 3 4; do
      mid=$(( (good + bad) / 2 ))
      if probe "$who" "$mid"; then good=$mid; else bad=$mid; fi
    done
  fi
  echo "$who $good" >> "$E2E_DIR/max.txt"
  LAST_GOOD=$good
}

# Kestrin, configured with a server that never answers (only its own
# requests go out), answering the load.
spawn upstream upstream "$E2E_PY" "$here/../tests/e2e/peer.py" serve --silent \
  --bind "${ADDR[upstream]}" --duration 1800
expect_line "$E2E_DIR/upstream.log" '^ready' 10 1 "upstream peer"
PROG_WATCH=0 prog_start kestrin svc "$program" "${ADDR[upstream]}"
expect_line "$E2E_DIR/upstream.log" '^request ' 30 1 "the program's first request"
first=$(sed -n 's/^request .* t=\([0-9.]*\).*/\1/p' "$E2E_DIR/upstream.log" | head -n1)
bisect kestrin
kestrin_max=$LAST_GOOD

# The flood: twice the zero-loss rate (at least 10,000/s) from now until
# 3 s past the next 60 s poll.
flood_rate=$(( kestrin_max * 2 > 10000 ? kestrin_max * 2 : 10000 ))
now=$(date +%s.%N)
flood_s=$(awk -v f="$first" -v n="$now" 'BEGIN { k = int((n - f) / 60) + 1; d = f + 60 * k - n
  if (d < 5) d += 60; printf "%d", d + 3 }')
log "flood at ${flood_rate}/s for ${flood_s}s"
spawn flood cli "$E2E_PY" "$here/loadgen.py" --from "${ADDR[cli]}" --to "${ADDR[svc]}" \
  --rate "$flood_rate" --duration "$flood_s"
flood_pid=$LAST_PID
t0=$(date +%s.%N)
ping=$(nsx svc timeout $(( flood_s + 30 )) wine "$driver" ping "$(( flood_s - 1 ))" 2>/dev/null | tr -d '\r')
wait "$flood_pid"
t1=$(date +%s.%N)
polls=$(sed -n 's/^request .* t=\([0-9.]*\).*/\1/p' "$E2E_DIR/upstream.log" |
  awk -v a="$t0" -v b="$t1" '$1 >= a && $1 <= b' | wc -l)
status=$(nsx svc timeout 10 wine "$driver" status 2>/dev/null | tr -d '\r')
echo "flood $flood_rate $flood_s $polls $ping $(tail -n1 "$E2E_DIR/flood.log")" > "$E2E_DIR/flood.txt"
log "during the flood: $ping; polls $polls; status now: $status"
prog_alive kestrin || log "the program died under load"
prog_stop kestrin
WINEPREFIX=$E2E_WINE_PREFIX wineserver -k 2>/dev/null

ref_chronyd svc "${ADDR[svc]}"
bisect chronyd

awk '{ print $1, $3, $4, $5 }' "$results" >> "${BENCH_RESULTS:-/tmp}/server.txt"
sed 's/^/max /' "$E2E_DIR/max.txt" >> "${BENCH_RESULTS:-/tmp}/server.txt"
read -r _ rate secs polls pings median maxms rest < "$E2E_DIR/flood.txt"
echo "flood $rate $secs $polls ${pings#pings=} ${median#median_ms=} ${maxms#max_ms=}" >> "${BENCH_RESULTS:-/tmp}/server.txt"

echo
echo "Server: paced mode-3 load from another namespace, ${seconds} s per rate, bisected to zero loss"
printf '%-10s %9s %10s %10s %8s\n' server asked "offered/s" "answers/s" "loss %"
awk '{ printf "%-10s %9s %10s %10s %8s\n", $1, $2, $3, $4, $5 }' "$results"
echo
printf '%-10s %24s\n' server "highest zero-loss rate/s"
awk '{ printf "%-10s %24s\n", $1, $2 }' "$E2E_DIR/max.txt"
echo
echo "Kestrin under ${rate}/s for ${secs} s: status-line reads answered: ${pings#pings=},"
echo "median ${median#median_ms=} ms, longest ${maxms#max_ms=} ms; timed polls sent during it: $polls (1 due)"
