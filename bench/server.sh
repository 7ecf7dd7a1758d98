#!/usr/bin/env bash
# Server bench: the highest offered rate of mode-3 requests served (for the
# Wine-hosted servers the highest rung of a ladder of rates they climb
# together, for chronyd by bisection), then what is answered, and how late,
# at 2, 4 and 8 times that
# rate, for kestrin.exe, for two bare answerers under the same Wine
# (answerer.exe: Kestrin's design, a window with WSAAsyncSelect and batch
# reading; plainans.exe: a blocking recvfrom/sendto loop on a thread of its
# own) and for chronyd, each in a namespace of its own on one link with the
# load's client, in one run.
# This machine's speed drifts (up to twice as fast within a quarter of an
# hour), so servers measured minutes apart meet different machines. The
# Wine-hosted servers are therefore measured interleaved: all are started
# first, each in its own namespace with its own copy of the prefix and its
# own wineserver there, and the probes go round: each round gives every
# server the next rung of the ladder (then of its own 2, 4 and 8 times), so they are
# measured within seconds of each other throughout. An idle server blocks
# in its read and costs nothing. chronyd runs natively and is measured
# after them, alone.
# A rate is served when at most 0.1 % of its requests go unanswered and 99 %
# of the answers come within 10 ms of their request (the load generator
# matches every answer to its request and times the round trip): an answer
# that comes late carries a wrong time. Each rate is measured three times
# and the median run counts; a rate the load generator could not offer is
# marked, not counted. Then Kestrin under a flood above its rate across one
# of its 60 s polls, the other servers idle: with the NTP port's thread
# flooded, how long the window's thread takes to answer a message (a
# status-line read every 20 ms) and whether the poll still went out. Prints
# tables and appends to $BENCH_RESULTS/server.txt:
#   run WHO ASKED OFFERED ANSWERS/S LOSS% SENT ANSWERED SHORT CPU_US DROPPED P99 MEDIAN MAX
#   rate WHO ASKED OFFERED ANSWERS/S LOSS% LO HI SHORT CPU_US P99 MEDIAN MAX  (the median run)
# ANSWERS/S counts the answers that came while the load was offered; LO-HI:
# the answers/s of the three runs; SHORT 1: the generator could not offer
# the rate; CPU_US: processor time of the server's namespace per answer,
# microseconds (for Wine: the program and its wineserver); DROPPED: requests
# the server's full receive buffer dropped; P99 MEDIAN MAX: round trips of
# the answers, ms. A server's run and rate lines are in its probe order.
#   max WHO RATE LIMITED   (LIMITED 1: the generator ran short above RATE)
#   over WHO FACTOR ASKED OFFERED ANSWERS/S LOSS% SHORT P99 MAX
#   flood RATE SECONDS POLLS PINGS MEDIAN_MS MAX_MS
#   load LOADAVG1 (at the start)
#   steal PERCENT (of the processors' time, taken by the host while the
#                  Wine-hosted servers were measured)
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
servers=${BENCH_SERVERS:-kestrin answerer plainans chronyd}
[ -n "${BENCH_KESTRIN_OLD:-}" ] && servers="kestrin_old $servers"
served_loss=0.1 served_p99_ms=10  # what a served rate may lose, and how late its answers may come
top_rate=64000  # above what one Python sender offers
# The rates the Wine-hosted servers are all measured at, round by round,
# each at every rate: a bisection that meets a slow minute early (this
# machine has them) never looks above it again, where a ladder climbed by
# all of them together gives each the same minutes. A server climbs until
# two rungs in a row are not served, and its served rate is the highest
# rung served below them: one slow minute fails a rung, not the climb, and
# one lucky rung above two failures does not count. chronyd, alone and
# native, is bisected.
ladder="500 750 1000 1250 1500 1750 2000 2250 2500 2750 3000 3250 3500 4000"
repeats=3
out=${BENCH_RESULTS:-/tmp}/server.txt

# Per server (by WHO): its namespace's role, its copy of the prefix, its
# executable and the pid to stop it by, its first poll (Kestrin's).
declare -A ROLE=() PREFIX=() EXE=() PID=() FIRST_POLL=()
EXE[kestrin]=$program EXE[kestrin-old]=${BENCH_KESTRIN_OLD:-} EXE[answerer]=$answerer
EXE[smallbuf]=$answerer EXE[plainans]=$plainans
# Each server's search, moved on one probe at a time so that servers can
# take turns: PHASE (ladder: each rung of the ladder in turn, until two in
# a row are not served; up: doubling from 1000/s until a rate is not served;
# halve: five halvings between the last rate served and that one; over: 2,
# 4 and 8 times the served rate; list: the rates of BENCH_RATES; done), the
# rate to probe NEXT, the bounds GOOD and BAD, HALVINGS made, LIMITED (the
# generator ran short), and the rates or factors LEFT.
declare -A PHASE=() NEXT=() GOOD=() BAD=() HALVINGS=() LIMITED=() LEFT=() MISSED=()

run_begin server
runs=$RUN_DIR/runs.txt rates=$RUN_DIR/rates.txt
: > "$runs"; : > "$rates"; : > "$RUN_DIR/max.txt"; : > "$RUN_DIR/over.txt"
echo "load $(cut -d' ' -f1 /proc/loadavg)" >> "$out"

# A namespace for each server: svc, svc2, svc3, ... in the order given.
wine_servers=() roles=()
for s in $servers; do
  who=${s//_/-}
  case $who in
    kestrin|kestrin-old|answerer|plainans|smallbuf)
      [ -f "${EXE[$who]}" ] || { log "no ${EXE[$who]}"; continue; }
      wine_servers+=("$who") ;;
    chronyd) ;;
    *) log "no server $s"; continue ;;
  esac
  role=svc; [ ${#roles[@]} -gt 0 ] && role=svc$(( ${#roles[@]} + 1 ))
  roles+=("$role"); ROLE[$who]=$role PHASE[$who]=done
done
net_create 22 cli upstream "${roles[@]}"

# load ROLE RATE SECONDS: one paced load from the client to the server in
# ROLE; prints its result line.
load() {
  nsx cli "$PYTHON" "$here/loadgen.py" --from "${ADDR[cli]}" --to "${ADDR[$1]}" \
    --rate "$2" --duration "$3"
}

# drained ROLE: until the server's socket holds no request (at most 60 s). A
# run that starts behind a backlog of the one before it counts the old
# requests' time against its own.
drained() {
  local i q
  for i in $(seq 600); do
    q=$(nsx "$1" ss -uanH 'sport = :123' | awk '{ s += $2 } END { print s + 0 }')
    [ "$q" = 0 ] && return 0
    sleep 0.1
  done
  log "the server in $1 still holds $q bytes of requests"
}

# svc_cpu ROLE: processor time used so far by every process in the role's
# namespace (the server, or the program and its wineserver), clock ticks.
svc_cpu() {
  local p
  for p in $(ns_pids "$1"); do cat "/proc/$p/stat" 2>/dev/null; done |
    awk '{ sub(/^.*\) /, ""); s += $12 + $13 } END { print s + 0 }'
}

# udp_counts ROLE: "in rcvbuf_errors out sndbuf_errors" of the role's UDP
# (all sockets of its namespace).
udp_counts() {
  nsx "$1" awk '$1 == "Udp:" && $2 ~ /^[0-9]/ { print $2, $6, $5, $7 }' /proc/net/snmp
}

# cpu_ticks: "steal idle total" of the machine's processors so far, clock
# ticks (idle with iowait; user to steal in the total, guest time is in user).
cpu_ticks() { awk '$1 == "cpu" { for (i = 2; i <= 9; i++) t += $i; print $9, $5 + $6, t }' /proc/stat; }

# probe WHO RATE: the load three times; the run of median badness (the
# larger of loss over 0.1 % and p99 over 10 ms) stands for the rate. Sets
# P_OFFERED P_ANSWERS P_LOSS P_SHORT P_P99 (P_SHORT 1: the generator could
# not offer the rate: under 97 % of it sent, sends refused, or its schedule
# more than 250 ms late). Succeeds when the median run was served and the
# generator kept up.
probe() {
  local who=$1 rate=$2 role=${ROLE[$1]} i r c0 c1 si0 se0 so0 sx0 ci0 ce0 si1 se1 so1 sx1 ci1 ce1
  for i in $(seq "$repeats"); do
    drained "$role"
    c0=$(svc_cpu "$role"); read -r si0 se0 so0 sx0 < <(udp_counts "$role"); read -r ci0 ce0 _ < <(udp_counts cli)
    r=$(load "$role" "$rate" "$seconds")
    c1=$(svc_cpu "$role"); read -r si1 se1 so1 sx1 < <(udp_counts "$role"); read -r ci1 ce1 _ < <(udp_counts cli)
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

# search_start WHO: a new search for WHO's rate.
search_start() {
  local who=$1
  GOOD[$who]=0 BAD[$who]=0 HALVINGS[$who]=0 LIMITED[$who]=0
  if [ -n "${BENCH_RATES:-}" ]; then
    PHASE[$who]=list LEFT[$who]=$BENCH_RATES
    take_next "$who"
  elif [ "$who" = chronyd ]; then
    PHASE[$who]=up NEXT[$who]=1000
  else
    PHASE[$who]=ladder LEFT[$who]=$ladder GOOD[$who]=0 MISSED[$who]=0
    take_next "$who"
  fi
}

# search_step WHO: probes WHO's next rate and moves its search on. A rate
# the generator cannot offer ends the bisection: the result is then "at
# least" the last rate served.
search_step() {
  local who=$1 rate=${NEXT[$1]} served=0
  probe "$who" "$rate" && served=1
  case ${PHASE[$who]} in
    list) take_next "$who" ;;
    ladder)
      if [ "$served" = 1 ]; then GOOD[$who]=$rate MISSED[$who]=0
      else MISSED[$who]=$(( ${MISSED[$who]} + 1 )); fi
      # Two rungs in a row not served: the climb ends.
      if [ "${MISSED[$who]}" -ge 2 ]; then searched "$who"; return; fi
      take_next "$who"
      # Served at the ladder's top: at least that much.
      [ "${PHASE[$who]}" = done ] && { [ "$served" = 1 ] && LIMITED[$who]=1; searched "$who"; } ;;
    up)
      if [ "$served" = 1 ]; then
        GOOD[$who]=$rate NEXT[$who]=$((rate * 2))
        [ "${NEXT[$who]}" -le "$top_rate" ] || { LIMITED[$who]=1; searched "$who"; }
      elif [ "$P_SHORT" = 1 ]; then
        LIMITED[$who]=1; searched "$who"
      else
        BAD[$who]=$rate PHASE[$who]=halve NEXT[$who]=$(( (${GOOD[$who]} + rate) / 2 ))
      fi ;;
    halve)
      if [ "$served" = 1 ]; then GOOD[$who]=$rate
      elif [ "$P_SHORT" = 1 ]; then LIMITED[$who]=1; searched "$who"; return
      else BAD[$who]=$rate; fi
      HALVINGS[$who]=$(( ${HALVINGS[$who]} + 1 ))
      if [ "${HALVINGS[$who]}" -ge 5 ]; then searched "$who"
      else NEXT[$who]=$(( (${GOOD[$who]} + ${BAD[$who]}) / 2 )); fi ;;
    over)
      echo "over $who $((rate / ${GOOD[$who]})) $rate $P_OFFERED $P_ANSWERS $P_LOSS $P_SHORT $P_P99" >> "$RUN_DIR/over.txt"
      take_next "$who" ;;
  esac
}

# searched WHO: the served rate found; on to 2, 4 and 8 times it, within
# what one sender offers: what is answered past the knee, and how late.
searched() {
  echo "max $1 ${GOOD[$1]} ${LIMITED[$1]}" >> "$RUN_DIR/max.txt"
  PHASE[$1]=over LEFT[$1]="2 4 8"
  take_next "$1"
}

# take_next WHO: the next rate of those LEFT (in "over", factors of the
# served rate), or done when none is left.
take_next() {
  local who=$1 first rest rate
  while read -r first rest <<< "${LEFT[$who]}"; [ -n "$first" ]; do
    LEFT[$who]=$rest rate=$first
    if [ "${PHASE[$who]}" = over ]; then
      rate=$(( ${GOOD[$who]} * first ))
      [ "$rate" -gt 0 ] && [ "$rate" -le "$top_rate" ] || continue
    fi
    NEXT[$who]=$rate
    return
  done
  PHASE[$who]=done
}

# measure WHO...: the servers' searches in rounds: in each, every server
# whose search goes on probes its next rate, so all of them meet the
# machine as it is within seconds of each other. A search takes at most 15
# probes (or the count of BENCH_RATES).
measure() {
  local round who active
  for round in $(seq 100); do
    active=0
    for who in "$@"; do
      [ "${PHASE[$who]}" = done ] && continue
      search_step "$who"; active=1
    done
    [ "$active" = 1 ] || return 0
  done
}

# wait_answering WHO: until a short load is answered (at most 30 tries);
# then WHO's search starts.
wait_answering() {
  local i
  for i in $(seq 30); do
    load "${ROLE[$1]}" 20 0.5 | grep -qv 'answered=0 ' && { search_start "$1"; return 0; }
    sleep 0.5
  done
  log "$1 does not answer"
  return 1
}

# polls_from WHO: the times of Kestrin's polls that reached the upstream
# peer, one a line.
polls_from() {
  sed -n "s/^request from=${ADDR[${ROLE[$1]}]//./\\.}:.* t=\([0-9.]*\).*/\1/p" "$RUN_DIR/upstream.log"
}

# kestrin_start WHO: kestrin.exe in WHO's namespace and prefix (its
# KESTRIN.INI is written into that prefix), configured with a server that
# never answers: only its own requests go out. Returns 1 when it sends none.
kestrin_start() {
  local who=$1
  if [ -z "${UPSTREAM_UP:-}" ]; then
    spawn upstream upstream "$PYTHON" "$here/../tests/e2e/peer.py" serve --silent \
      --bind "${ADDR[upstream]}" --duration 3600
    expect_line "$RUN_DIR/upstream.log" '^ready' 10 1 "upstream peer"
    UPSTREAM_UP=1
  fi
  WINEPREFIX=${PREFIX[$who]} PROG_WATCH=0 prog_start "$who" "${ROLE[$who]}" "${EXE[$who]}" "${ADDR[upstream]}"
  local i
  for i in $(seq 300); do
    FIRST_POLL[$who]=$(polls_from "$who" | head -n1)
    [ -n "${FIRST_POLL[$who]}" ] && return 0
    sleep 0.1
  done
  log "$who sent no request"
  prog_stop "$who"
  return 1
}

# server_start WHO: the Wine-hosted server WHO in its namespace, with its
# own copy of the prefix whose wineserver lives there (under Wine the
# wineserver makes the sockets).
server_start() {
  local who=$1 role=${ROLE[$1]}
  wine_prepare "$role" "$prefix" "$role"
  PREFIX[$who]=$RUN_WINEPREFIX
  case $who in
    kestrin*) kestrin_start "$who" || return 1 ;;
    # Asking for a receive buffer of that many bytes: the bound on waiting
    # that a buffer's size alone gives.
    smallbuf) WINEPREFIX=${PREFIX[$who]} wine_spawn "$who" "$role" "${EXE[$who]}" "${BENCH_SMALLBUF:-16384}" ;;
    *) WINEPREFIX=${PREFIX[$who]} wine_spawn "$who" "$role" "${EXE[$who]}" ;;
  esac
  PID[$who]=$LAST_PID
}

# server_stop WHO: stops the server by its pid, then its wineserver.
server_stop() {
  case $1 in
    kestrin*) prog_alive "$1" || log "$1 died under load"; prog_stop "$1" ;;
    *) kill "${PID[$1]}" 2>/dev/null ;;
  esac
  WINEPREFIX=${PREFIX[$1]} wineserver -k 2>/dev/null
}

# flood: Kestrin at twice its served rate (at least 10,000/s) from now until
# 3 s past its next 60 s poll.
flood() {
  local role=${ROLE[kestrin]} flood_rate now flood_s flood_pid t0 t1 ping polls status
  flood_rate=$(( ${GOOD[kestrin]} * 2 > 10000 ? ${GOOD[kestrin]} * 2 : 10000 ))
  now=$(date +%s.%N)
  flood_s=$(awk -v f="${FIRST_POLL[kestrin]}" -v n="$now" 'BEGIN { k = int((n - f) / 60) + 1; d = f + 60 * k - n
    if (d < 5) d += 60; printf "%d", d + 3 }')
  log "flood at ${flood_rate}/s for ${flood_s}s"
  spawn flood cli "$PYTHON" "$here/loadgen.py" --from "${ADDR[cli]}" --to "${ADDR[$role]}" \
    --rate "$flood_rate" --duration "$flood_s"
  flood_pid=$LAST_PID
  t0=$(date +%s.%N)
  ping=$(WINEPREFIX=${PREFIX[kestrin]} nsx "$role" timeout $(( flood_s + 30 )) wine "$driver" ping "$(( flood_s - 1 ))" 2>/dev/null | tr -d '\r')
  wait "$flood_pid"
  t1=$(date +%s.%N)
  polls=$(polls_from kestrin | awk -v a="$t0" -v b="$t1" '$1 >= a && $1 <= b' | wc -l)
  status=$(WINEPREFIX=${PREFIX[kestrin]} nsx "$role" timeout 10 wine "$driver" status 2>/dev/null | tr -d '\r')
  log "during the flood: $ping; polls $polls; status now: $status"
  local _ pings median maxms
  read -r _ pings median maxms _ <<< "x $ping"
  echo "flood $flood_rate $flood_s $polls ${pings#pings=} ${median#median_ms=} ${maxms#max_ms=}" \
    > "$RUN_DIR/flood.txt"
}

# settled WHO...: a short load to each (untimed: Wine's first calls of a
# path are slow), then until the machine is quiet, idle at least 90 % of
# three seconds in a row (at most 60 s). Just after the start-up of several
# prefixes their services still run, and the first round would meet them.
settled() {
  local who i quiet=0 t0 t1 i0 i1
  for who in "$@"; do load "${ROLE[$who]}" 500 2 > /dev/null; done
  for i in $(seq 60); do
    read -r _ i0 t0 < <(cpu_ticks)
    sleep 1
    read -r _ i1 t1 < <(cpu_ticks)
    if [ $(( (i1 - i0) * 10 )) -ge $(( (t1 - t0) * 9 )) ]; then
      quiet=$((quiet + 1)); [ "$quiet" -ge 3 ] && return 0
    else
      quiet=0
    fi
  done
  log "the machine did not settle in 60 s"
}

# The Wine-hosted servers: all up, then measured in turns.
up=()
for who in "${wine_servers[@]}"; do
  server_start "$who" && wait_answering "$who" && up+=("$who")
done
if [ ${#up[@]} -gt 0 ]; then
  settled "${up[@]}"
  read -r steal0 _ total0 < <(cpu_ticks)
  measure "${up[@]}"
  read -r steal1 _ total1 < <(cpu_ticks)
  steal=$(awk -v s=$((steal1 - steal0)) -v t=$((total1 - total0)) 'BEGIN { printf "%.1f", (t > 0 ? 100 * s / t : 0) }')
  echo "steal $steal" >> "$out"
  [ -n "${FIRST_POLL[kestrin]:-}" ] && [ "${BENCH_FLOOD:-1}" != 0 ] && flood
fi
# The servers that did not start or answer stay until the run ends.
for who in "${up[@]}"; do server_stop "$who"; done

# chronyd last: it keeps port 123 of its namespace to the end of the run.
if [ -n "${ROLE[chronyd]:-}" ]; then
  ref_chronyd "${ROLE[chronyd]}" "${ADDR[${ROLE[chronyd]}]}"
  wait_answering chronyd && measure chronyd
fi

cat "$runs" "$rates" "$RUN_DIR/max.txt" "$RUN_DIR/over.txt" >> "$out"
[ -s "$RUN_DIR/flood.txt" ] && cat "$RUN_DIR/flood.txt" >> "$out"

echo
echo "Server: paced mode-3 load from another namespace, ${seconds} s per run, the median of $repeats runs per rate;"
echo "served: loss at most ${served_loss} % and 99 % of answers within ${served_p99_ms} ms;"
echo "the Wine-hosted servers measured in turns, one rate each a round${steal:+ (steal meanwhile ${steal} %)}"
printf '%-11s %7s %9s %9s %7s %15s %7s %8s %8s %9s  %s\n' server asked "offered/s" "answers/s" "loss %" "answers/s, 3 runs" "cpu us" "p99 ms" "median" "longest" ""
# One server's rates together, in its probe order.
awk '!($2 in n) { order[++k] = $2 } { line[$2, ++n[$2]] = $0 }
     END { for (i = 1; i <= k; i++) for (j = 1; j <= n[order[i]]; j++) print line[order[i], j] }' "$rates" |
  awk '{ printf "%-11s %7s %9s %9s %7s %15s %7s %8s %8s %9s  %s\n", $2, $3, $4, $5, $6, $7 "-" $8, $10, $11, $12, $13, $9 ? "generator short" : "" }'
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
awk '$1 == "max" { m[$2] = $3 }
     END { b = m["answerer"] > m["plainans"] ? m["answerer"] : m["plainans"]
           if (b > 0 && "kestrin" in m) printf "\nserved rate, Kestrin / the better bare answerer: %.2fx\n", m["kestrin"] / b }' \
  "$RUN_DIR/max.txt"
