#!/usr/bin/env bash
# Server bench: the highest offered rate of mode-3 requests served, found by
# bisection, then what is answered, and how late, at 2, 4 and 8 times that
# rate, for kestrin.exe, for two bare answerers under the same Wine
# (answerer.exe: Kestrin's design, a window with WSAAsyncSelect and batch
# reading; plainans.exe: a blocking recvfrom/sendto loop on a thread of its
# own) and for chronyd, in the same namespace on the same link, in one run.
# A rate is served when at most 0.1 % of its requests go unanswered and 99 %
# of the answers come within 10 ms of their request (the load generator
# matches every answer to its request and times the round trip): an answer
# that comes late carries a wrong time. Each rate is measured three times
# and the median run counts; a rate the load generator could not offer is
# marked, not counted. Then Kestrin under a flood above its rate across one
# of its 60 s polls: with the NTP port's thread flooded, how long the
# window's thread takes to answer a message (a status-line read every 20 ms)
# and whether the poll still went out. Prints
# tables and appends to $BENCH_RESULTS/server.txt:
#   run WHO ASKED OFFERED ANSWERS/S LOSS% SENT ANSWERED SHORT CPU_US DROPPED P99 MEDIAN MAX
#   rate WHO ASKED OFFERED ANSWERS/S LOSS% LO HI SHORT CPU_US P99 MEDIAN MAX  (the median run)
# ANSWERS/S counts the answers that came while the load was offered; LO-HI:
# the answers/s of the three runs; SHORT 1: the generator could not offer
# the rate; CPU_US: processor time of the server's namespace per answer,
# microseconds (for Wine: the program and its wineserver); DROPPED: requests
# the server's full receive buffer dropped; P99 MEDIAN MAX: round trips of
# the answers, ms.
#   max WHO RATE LIMITED   (LIMITED 1: the generator ran short above RATE)
#   over WHO FACTOR ASKED OFFERED ANSWERS/S LOSS% SHORT P99 MAX
#   flood RATE SECONDS POLLS PINGS MEDIAN_MS MAX_MS
#   load LOADAVG1 (at the start)
# Asserts nothing.
# Usage: server.sh KESTRIN.exe WINEPREFIX [SECONDS_PER_RATE]
#   BENCH_SERVERS: which to measure (default "kestrin answerer plainans chronyd")
#                (also "smallbuf": answerer.exe asking for a receive buffer
#                of BENCH_SMALLBUF bytes, default 16384, the bound on waiting
#                that a buffer's size alone gives)
#   BENCH_FLOOD=0: no flood
#   BENCH_RATES: measure these rates instead of bisecting (comparisons of
#                builds; no served rate then)
#   BENCH_KESTRIN_OLD: a second kestrin.exe (another build) measured the
#                same way, as "kestrin-old", without the flood
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=${NS_PREFIX:-kst-bench}
source "$here/../scripts/lib/netns.sh"
source "$here/../tests/e2e/program.sh"
source "$here/ntpservers.sh"
program=$1 prefix=$2 seconds=${3:-5}
answerer=$(dirname "$program")/../bench/baseline/answerer.exe
plainans=$(dirname "$program")/../bench/baseline/plainans.exe
driver=$(dirname "$program")/app_driver.exe
# chronyd last: it keeps port 123 to the end of the run.
servers=${BENCH_SERVERS:-kestrin answerer plainans chronyd}
[ -n "${BENCH_KESTRIN_OLD:-}" ] && servers="kestrin_old $servers"
served_loss=0.1 served_p99_ms=10  # what a served rate may lose, and how late its answers may come
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

# probe WHO RATE: the load three times; the run of median badness (the
# larger of loss over 0.1 % and p99 over 10 ms) stands for the rate. Sets
# P_OFFERED P_ANSWERS P_LOSS P_SHORT P_P99 (P_SHORT 1: the generator could
# not offer the rate: under 97 % of it sent, sends refused, or its schedule
# more than 250 ms late). Succeeds when the median run was served and the
# generator kept up.
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
      p99 = v["p99_rtt_ms"]; if (p99 == "" || p99 == "nan") p99 = "-"
      med = v["median_rtt_ms"]; if (med == "" || med == "nan") med = "-"
      mx = v["max_rtt_ms"]; if (mx == "" || mx == "nan") mx = "-"
      print "run", w, r, v["offered_per_s"], v["answers_per_s"], v["loss_pct"], v["sent"], v["answered"], short, v["server_cpu_us"] + 0, v["srv_full"] + 0, p99, med, mx }' \
      <<< "${r:-sent=0}" >> "$runs"
  done
  read -r P_OFFERED P_ANSWERS P_LOSS P_SHORT P_P99 < <(tail -n "$repeats" "$runs" |
    awk -v w="$who" -v r="$rate" -v sl="$served_loss" -v sp="$served_p99_ms" '
      { off[NR] = $4; ans[NR] = $5; loss[NR] = $6; short[NR] = $9; us[NR] = $10
        p99[NR] = $12; med[NR] = $13; mx[NR] = $14
        # No answer at all: as bad as can be.
        bad[NR] = ($12 == "-") ? 1e9 : (loss[NR] / sl > $12 / sp ? loss[NR] / sl : $12 / sp)
        if (NR == 1 || $5 < lo) lo = $5; if (NR == 1 || $5 > hi) hi = $5 }
      END { for (i = 1; i <= NR; i++) idx[i] = i
            for (i = 1; i <= NR; i++) for (j = i + 1; j <= NR; j++) {
              a = idx[i]; b = idx[j]
              if (bad[b] < bad[a]) { idx[i] = b; idx[j] = a } }
            m = idx[int((NR + 1) / 2)]; ns = 0
            for (i = 1; i <= NR; i++) ns += short[i]
            s = ns * 2 > NR ? 1 : 0
            print off[m], ans[m], loss[m], s, p99[m]
            printf "rate %s %s %s %s %s %s %s %s %s %s %s %s\n", w, r, off[m], ans[m], loss[m], lo, hi, s, us[m], p99[m], med[m], mx[m] > "/dev/stderr" }' \
      2>> "$rates")
  [ "$P_SHORT" = 0 ] && awk -v l="$P_LOSS" -v p="$P_P99" -v sl="$served_loss" -v sp="$served_p99_ms" \
    'BEGIN { exit !(p != "-" && l <= sl && p <= sp) }'
}

# bisect WHO: doubling from 1000/s to the first rate not served, then five
# halvings.
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

# overload WHO: 2, 4 and 8 times the served rate, within what one sender
# offers: what is answered past the knee, and how late.
overload() {
  local who=$1 f rate
  for f in 2 4 8; do
    rate=$(( LAST_GOOD * f ))
    [ "$rate" -gt 0 ] && [ "$rate" -le "$top_rate" ] || continue
    probe "$who" "$rate"
    echo "over $who $f $rate $P_OFFERED $P_ANSWERS $P_LOSS $P_SHORT $P_P99" >> "$RUN_DIR/over.txt"
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

# Kestrin (as WHO), configured with a server that never answers (only its
# own requests go out), answering the load; then the flood.
kestrin() { kestrin_as kestrin; }
kestrin_as() {
  local who=$1
  if [ -z "${UPSTREAM_UP:-}" ]; then
    spawn upstream upstream "$PYTHON" "$here/../tests/e2e/peer.py" serve --silent \
      --bind "${ADDR[upstream]}" --duration 3600
    expect_line "$RUN_DIR/upstream.log" '^ready' 10 1 "upstream peer"
    UPSTREAM_UP=1
  fi
  local seen; seen=$(grep -c '^request ' "$RUN_DIR/upstream.log" 2>/dev/null)
  PROG_WATCH=0 prog_start "$who" svc "$program" "${ADDR[upstream]}"
  # Not fail: the other servers of the run are still to be measured.
  wait_for "$RUN_DIR/upstream.log" '^request ' 30 $((seen + 1)) ||
    { log "$who sent no request"; prog_stop "$who"; return 0; }
  local first; first=$(sed -n 's/^request .* t=\([0-9.]*\).*/\1/p' "$RUN_DIR/upstream.log" | sed -n "$((seen + 1))p")
  measure "$who"
  [ "${BENCH_FLOOD:-1}" = 0 ] || flood "$first"
  prog_alive "$who" || log "the program died under load"
  prog_stop "$who"
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

# bare WHO EXE [ARG]: a bare answerer (answerer.exe or plainans.exe) as WHO,
# started like the program, in the same prefix, with a wineserver started and warmed the same
# way.
bare() {
  local who=$1 exe=$2; shift 2
  [ -f "$exe" ] || { log "no $exe"; return 0; }
  WINEPREFIX=$RUN_WINEPREFIX wineserver -k 2>/dev/null
  nsx svc wineserver -p
  nsx svc timeout 60 wine cmd /c exit >/dev/null 2>&1 || true
  wine_spawn "$who" svc "$exe" "$@"
  local pid=$LAST_PID
  measure "$who"
  kill "$pid" 2>/dev/null
  WINEPREFIX=$RUN_WINEPREFIX wineserver -k 2>/dev/null
}
answerer() { bare answerer "$answerer"; }
smallbuf() { bare smallbuf "$answerer" "${BENCH_SMALLBUF:-16384}"; }
plainans() { bare plainans "$plainans"; }

# Another build of the program, measured the same way (no flood).
kestrin_old() {
  local saved=$program
  program=$BENCH_KESTRIN_OLD
  BENCH_FLOOD=0 kestrin_as kestrin-old
  program=$saved
}

chronyd() { ref_chronyd svc "${ADDR[svc]}"; measure chronyd; }

for s in $servers; do "$s"; done

cat "$runs" "$rates" "$RUN_DIR/max.txt" "$RUN_DIR/over.txt" >> "$out"
[ -s "$RUN_DIR/flood.txt" ] && cat "$RUN_DIR/flood.txt" >> "$out"

echo
echo "Server: paced mode-3 load from another namespace, ${seconds} s per run, the median of $repeats runs per rate;"
echo "served: loss at most ${served_loss} % and 99 % of answers within ${served_p99_ms} ms"
printf '%-11s %7s %9s %9s %7s %15s %7s %8s %8s %9s  %s\n' server asked "offered/s" "answers/s" "loss %" "answers/s, 3 runs" "cpu us" "p99 ms" "median" "longest" ""
awk '{ printf "%-11s %7s %9s %9s %7s %15s %7s %8s %8s %9s  %s\n", $2, $3, $4, $5, $6, $7 "-" $8, $10, $11, $12, $13, $9 ? "generator short" : "" }' "$rates"
echo "(cpu us: processor time of the server, with its wineserver, per answer; round trips in ms)"
echo
printf '%-11s %16s %24s %24s %24s\n' server "served rate/s" "at 2x: answers/s, p99" "at 4x" "at 8x"
awk 'FNR == NR { m[$2] = $3 ($4 ? "+ (generator limit)" : ""); order[++n] = $2; next }
     { a[$2 " " $3] = $6 ", " $9 " ms (" $7 "%)" ($8 ? "*" : "") }
     END { for (i = 1; i <= n; i++) { w = order[i]
             printf "%-11s %16s %24s %24s %24s\n", w, m[w], (w " 2") in a ? a[w " 2"] : "-",
                    (w " 4") in a ? a[w " 4"] : "-", (w " 8") in a ? a[w " 8"] : "-" } }' \
  "$RUN_DIR/max.txt" "$RUN_DIR/over.txt"
echo "(loss in brackets; * the generator could not offer that rate)"
if [ -s "$RUN_DIR/flood.txt" ]; then
  read -r _ rate secs polls pings median maxms < "$RUN_DIR/flood.txt"
  echo
  echo "Kestrin under ${rate}/s for ${secs} s: status-line reads the window's thread answered: ${pings},"
  echo "median ${median} ms, longest ${maxms} ms; timed polls sent during it: $polls (1 due)"
fi
