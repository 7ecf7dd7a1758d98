#!/usr/bin/env bash
# Server bench: the highest offered rate of mode-3 requests answered with
# zero loss, found by bisection, then what is answered at twice and four
# times that rate, for kestrin.exe, for the bare answerer (answerer.exe: what
# Wine allows any Windows Sockets 1.1 program here) and for chronyd, in the
# same namespace on the same link, in one run. Each rate is measured three
# times and the median run counts; a rate the load generator could not
# offer is marked, not counted. Then Kestrin under a flood above its rate
# across one of its 60 s polls: how long its thread takes to answer a
# message (a status-line read every 20 ms) and whether the poll still went
# out. Prints tables and appends to $BENCH_RESULTS/server.txt:
#   run WHO ASKED OFFERED ANSWERS/S LOSS% SENT ANSWERED SHORT CPU_US DROPPED
#   rate WHO ASKED OFFERED ANSWERS/S LOSS% LO HI SHORT CPU_US   (the median run)
# ANSWERS/S counts the answers that came while the load was offered; LO-HI:
# the answers/s of the three runs; SHORT 1: the generator could not offer
# the rate; CPU_US: processor time of the server's namespace per answer,
# microseconds (for Wine: the program and its wineserver); DROPPED: requests
# the server's full receive buffer dropped.
#   max WHO RATE LIMITED   (LIMITED 1: the generator ran short above RATE)
#   over WHO FACTOR ASKED OFFERED ANSWERS/S LOSS% SHORT
#   flood RATE SECONDS POLLS PINGS MEDIAN_MS MAX_MS
#   load LOADAVG1 (at the start)
# Asserts nothing.
# Usage: server.sh KESTRIN.exe WINEPREFIX [SECONDS_PER_RATE]
#   BENCH_SERVERS: which to measure (default "kestrin answerer chronyd")
#   BENCH_FLOOD=0: no flood
#   BENCH_RATES: measure these rates instead of bisecting (comparisons of
#                builds; no zero-loss rate then)
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=kst-bench
source "$here/../scripts/lib/netns.sh"
source "$here/../tests/e2e/program.sh"
source "$here/ntpservers.sh"
program=$1 prefix=$2 seconds=${3:-5}
answerer=$(dirname "$program")/../bench/baseline/answerer.exe
driver=$(dirname "$program")/app_driver.exe
servers=${BENCH_SERVERS:-kestrin answerer chronyd}
top_rate=64000  # above what one Python sender offers
repeats=3
out=${BENCH_RESULTS:-/tmp}/server.txt

run_begin server
runs=$RUN_DIR/runs.txt rates=$RUN_DIR/rates.txt
: > "$runs"; : > "$rates"; : > "$RUN_DIR/max.txt"; : > "$RUN_DIR/over.txt"
echo "load $(cut -d' ' -f1 /proc/loadavg)" >> "$out"
net_create 22 svc cli upstream
wine_prepare svc "$prefix"

# load RATE SECONDS: one paced load from the client; prints its result line.
load() {
  nsx cli "$PYTHON" "$here/loadgen.py" --from "${ADDR[cli]}" --to "${ADDR[svc]}" \
    --rate "$1" --duration "$2"
}

# drained: until the server's socket holds no request (at most 60 s). A run
# that starts behind a backlog of the one before it counts the old
# requests' time against its own.
drained() {
  local i q
  for i in $(seq 600); do
    q=$(nsx svc ss -uanH 'sport = :123' | awk '{ s += $2 } END { print s + 0 }')
    [ "$q" = 0 ] && return 0
    sleep 0.1
  done
  log "the server still holds $q bytes of requests"
}

# svc_cpu: processor time used so far by every process in the server's
# namespace (the server, or the program and its wineserver), clock ticks.
svc_cpu() {
  local p
  for p in $(ns_pids svc); do cat "/proc/$p/stat" 2>/dev/null; done |
    awk '{ sub(/^.*\) /, ""); s += $12 + $13 } END { print s + 0 }'
}

# udp_counts ROLE: "in rcvbuf_errors out sndbuf_errors" of the role's UDP
# (all sockets of its namespace).
udp_counts() {
  nsx "$1" awk '$1 == "Udp:" && $2 ~ /^[0-9]/ { print $2, $6, $5, $7 }' /proc/net/snmp
}

# probe WHO RATE: the load three times; the run of median loss (then median
# answers) stands for the rate. Sets P_OFFERED P_ANSWERS P_LOSS P_SHORT
# (1: the generator could not offer the rate: under 97 % of it sent, sends
# refused, or its schedule more than 250 ms late). Succeeds when the median
# run lost nothing and the generator kept up.
probe() {
  local who=$1 rate=$2 i r c0 c1 si0 se0 so0 sx0 ci0 ce0 si1 se1 so1 sx1 ci1 ce1
  for i in $(seq "$repeats"); do
    drained
    c0=$(svc_cpu); read -r si0 se0 so0 sx0 < <(udp_counts svc); read -r ci0 ce0 _ < <(udp_counts cli)
    r=$(load "$rate" "$seconds")
    c1=$(svc_cpu); read -r si1 se1 so1 sx1 < <(udp_counts svc); read -r ci1 ce1 _ < <(udp_counts cli)
    # Where requests and answers went: taken in by the server's socket,
    # dropped there for a full buffer, answers sent, answers refused for a
    # full send buffer, answers dropped at the generator's socket.
    r="$r srv_in=$((si1 - si0)) srv_full=$((se1 - se0)) srv_out=$((so1 - so0)) srv_sndfull=$((sx1 - sx0)) cli_full=$((ce1 - ce0))"
    # Processor time per answer: what the load costs the server, whatever
    # else the machine runs meanwhile.
    r="$r server_cpu_us=$(awk -v c=$((c1 - c0)) -v hz="$(getconf CLK_TCK)" -v r="$r" 'BEGIN {
      a = r; sub(/.* answered=/, "", a); sub(/ .*/, "", a); printf "%.0f", (a > 0 ? c * 1e6 / hz / a : 0) }')"
    log "$who $rate/s: $r"
    awk -v w="$who" -v r="$rate" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      short = (v["offered_per_s"] < 0.97 * r || v["send_errors"] > 0 || v["late_ms"] > 250) ? 1 : 0
      print "run", w, r, v["offered_per_s"], v["answers_per_s"], v["loss_pct"], v["sent"], v["answered"], short, v["server_cpu_us"] + 0, v["srv_full"] + 0 }' \
      <<< "${r:-sent=0}" >> "$runs"
  done
  read -r P_OFFERED P_ANSWERS P_LOSS P_SHORT < <(tail -n "$repeats" "$runs" |
    awk -v w="$who" -v r="$rate" '{ off[NR] = $4; ans[NR] = $5; loss[NR] = $6; short[NR] = $9; us[NR] = $10
        if (NR == 1 || $5 < lo) lo = $5; if (NR == 1 || $5 > hi) hi = $5 }
      END { # order by loss, then by answers; the middle one stands
            for (i = 1; i <= NR; i++) idx[i] = i
            for (i = 1; i <= NR; i++) for (j = i + 1; j <= NR; j++) {
              a = idx[i]; b = idx[j]
              if (loss[b] < loss[a] || (loss[b] == loss[a] && ans[b] < ans[a])) { idx[i] = b; idx[j] = a } }
            m = idx[int((NR + 1) / 2)]; ns = 0
            for (i = 1; i <= NR; i++) ns += short[i]
            s = ns * 2 > NR ? 1 : 0
            print off[m], ans[m], loss[m], s
            printf "rate %s %s %s %s %s %s %s %s %s\n", w, r, off[m], ans[m], loss[m], lo, hi, s, us[m] > "/dev/stderr" }' \
      2>> "$rates")
  [ "$P_SHORT" = 0 ] && awk -v l="$P_LOSS" 'BEGIN { exit !(l == 0) }'
}

# bisect WHO: doubling from 1000/s to the first loss, then five halvings.
# A rate the generator cannot offer ends the search: the result is then
# "at least" the last good rate. Sets LAST_GOOD.
bisect() {
  local who=$1 good=0 bad=0 rate=1000 mid i limited=0
  while [ "$rate" -le "$top_rate" ]; do
    if probe "$who" "$rate"; then good=$rate; rate=$((rate * 2))
    elif [ "$P_SHORT" = 1 ]; then limited=1; break
    else bad=$rate; break; fi
  done
  [ "$rate" -gt "$top_rate" ] && limited=1
  if [ "$bad" -gt 0 ]; then
    for i in 1 2 3 4 5; do
      mid=$(( (good + bad) / 2 ))
      if probe "$who" "$mid"; then good=$mid
      elif [ "$P_SHORT" = 1 ]; then limited=1; break
      else bad=$mid; fi
    done
  fi
  echo "max $who $good $limited" >> "$RUN_DIR/max.txt"
  LAST_GOOD=$good
}

# overload WHO: twice and four times the zero-loss rate, within what one
# sender offers.
overload() {
  local who=$1 f rate
  for f in 2 4; do
    rate=$(( LAST_GOOD * f ))
    [ "$rate" -gt 0 ] && [ "$rate" -le "$top_rate" ] || continue
    probe "$who" "$rate"
    echo "over $who $f $rate $P_OFFERED $P_ANSWERS $P_LOSS $P_SHORT" >> "$RUN_DIR/over.txt"
  done
}

# wait_answering WHO: until a short load is answered (at most 30 tries).
wait_answering() {
  local i
  for i in $(seq 30); do
    load 20 0.5 | grep -qv 'answered=0 ' && return 0
    sleep 0.5
  done
  fail "$1 does not answer"
}

measure() {
  local r
  wait_answering "$1"
  if [ -n "${BENCH_RATES:-}" ]; then
    for r in $BENCH_RATES; do probe "$1" "$r" || true; done
    return
  fi
  bisect "$1"
  overload "$1"
}

# Kestrin, configured with a server that never answers (only its own
# requests go out), answering the load; then the flood.
kestrin() {
  spawn upstream upstream "$PYTHON" "$here/../tests/e2e/peer.py" serve --silent \
    --bind "${ADDR[upstream]}" --duration 1800
  expect_line "$RUN_DIR/upstream.log" '^ready' 10 1 "upstream peer"
  PROG_WATCH=0 prog_start kestrin svc "$program" "${ADDR[upstream]}"
  expect_line "$RUN_DIR/upstream.log" '^request ' 30 1 "the program's first request"
  local first; first=$(sed -n 's/^request .* t=\([0-9.]*\).*/\1/p' "$RUN_DIR/upstream.log" | head -n1)
  measure kestrin
  [ "${BENCH_FLOOD:-1}" = 0 ] || flood "$first"
  prog_alive kestrin || log "the program died under load"
  prog_stop kestrin
  WINEPREFIX=$RUN_WINEPREFIX wineserver -k 2>/dev/null
}

# flood FIRST_POLL_TIME: twice the zero-loss rate (at least 10,000/s) from
# now until 3 s past the next 60 s poll.
flood() {
  local first=$1 now flood_s flood_pid t0 t1 ping polls status
  flood_rate=$(( LAST_GOOD * 2 > 10000 ? LAST_GOOD * 2 : 10000 ))
  now=$(date +%s.%N)
  flood_s=$(awk -v f="$first" -v n="$now" 'BEGIN { k = int((n - f) / 60) + 1; d = f + 60 * k - n
    if (d < 5) d += 60; printf "%d", d + 3 }')
  log "flood at ${flood_rate}/s for ${flood_s}s"
  spawn flood cli "$PYTHON" "$here/loadgen.py" --from "${ADDR[cli]}" --to "${ADDR[svc]}" \
    --rate "$flood_rate" --duration "$flood_s"
  flood_pid=$LAST_PID
  t0=$(date +%s.%N)
  ping=$(nsx svc timeout $(( flood_s + 30 )) wine "$driver" ping "$(( flood_s - 1 ))" 2>/dev/null | tr -d '\r')
  wait "$flood_pid"
  t1=$(date +%s.%N)
  polls=$(sed -n 's/^request .* t=\([0-9.]*\).*/\1/p' "$RUN_DIR/upstream.log" |
    awk -v a="$t0" -v b="$t1" '$1 >= a && $1 <= b' | wc -l)
  status=$(nsx svc timeout 10 wine "$driver" status 2>/dev/null | tr -d '\r')
  log "during the flood: $ping; polls $polls; status now: $status"
  local _ pings median maxms
  read -r _ pings median maxms _ <<< "x $ping"
  echo "flood $flood_rate $flood_s $polls ${pings#pings=} ${median#median_ms=} ${maxms#max_ms=}" \
    > "$RUN_DIR/flood.txt"
}

# The bare answerer, started like the program, in the same prefix, with a
# wineserver started and warmed the same way.
answerer() {
  [ -f "$answerer" ] || { log "no $answerer"; return 0; }
  WINEPREFIX=$RUN_WINEPREFIX wineserver -k 2>/dev/null
  nsx svc wineserver -p
  nsx svc timeout 60 wine cmd /c exit >/dev/null 2>&1 || true
  wine_spawn answerer svc "$answerer"
  local pid=$LAST_PID
  measure answerer
  kill "$pid" 2>/dev/null
  WINEPREFIX=$RUN_WINEPREFIX wineserver -k 2>/dev/null
}

chronyd() { ref_chronyd svc "${ADDR[svc]}"; measure chronyd; }

for s in $servers; do "$s"; done

cat "$runs" "$rates" "$RUN_DIR/max.txt" "$RUN_DIR/over.txt" >> "$out"
[ -s "$RUN_DIR/flood.txt" ] && cat "$RUN_DIR/flood.txt" >> "$out"

echo
echo "Server: paced mode-3 load from another namespace, ${seconds} s per run, the median of $repeats runs per rate, bisected to zero loss"
printf '%-9s %8s %10s %10s %8s %17s %8s  %s\n' server asked "offered/s" "answers/s" "loss %" "answers/s, 3 runs" "cpu us" ""
awk '{ printf "%-9s %8s %10s %10s %8s %17s %8s  %s\n", $2, $3, $4, $5, $6, $7 "-" $8, $10, $9 ? "generator short" : "" }' "$rates"
echo "(cpu us: processor time of the server, with its wineserver, per answer)"
echo
printf '%-9s %24s %22s %22s\n' server "highest zero-loss rate/s" "answers/s at 2x" "answers/s at 4x"
awk 'FNR == NR { m[$2] = $3 ($4 ? "+ (generator limit)" : ""); order[++n] = $2; next }
     { a[$2 " " $3] = $6 " (" $7 "%)" ($8 ? "*" : "") }
     END { for (i = 1; i <= n; i++) { w = order[i]
             printf "%-9s %24s %22s %22s\n", w, m[w], (w " 2") in a ? a[w " 2"] : "-", (w " 4") in a ? a[w " 4"] : "-" } }' \
  "$RUN_DIR/max.txt" "$RUN_DIR/over.txt"
echo "(loss in brackets; * the generator could not offer that rate)"
if [ -s "$RUN_DIR/flood.txt" ]; then
  read -r _ rate secs polls pings median maxms < "$RUN_DIR/flood.txt"
  echo
  echo "Kestrin under ${rate}/s for ${secs} s: status-line reads answered: ${pings},"
  echo "median ${median} ms, longest ${maxms} ms; timed polls sent during it: $polls (1 due)"
fi
