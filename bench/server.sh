#!/usr/bin/env bash
# Server bench: answers per second and loss for a paced client load from
# another namespace, for the program and for chronyd in the same namespace
# on the same link. Prints a table; asserts nothing.
# Usage: server.sh PROGRAM.exe WINEPREFIX [SECONDS_PER_RATE] [RATES...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
E2E_NSPREFIX=kst-bench
source "$here/../scripts/lib/netns.sh"
source "$here/../tests/e2e/program.sh"
program=$1 prefix=$2 seconds=${3:-5}
shift $(( $# < 3 ? $# : 3 ))
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(1000 5000 10000 20000)

e2e_setup server
net_create 22 svc cli upstream
wine_prepare svc "$prefix"
results=$E2E_DIR/results.txt
: > "$results"

load() {  # load SERVER_NAME: one run per rate, results appended
  local who=$1 rate out
  for rate in "${rates[@]}"; do
    out=$(nsx cli "$E2E_PY" "$here/loadgen.py" --from "${ADDR[cli]}" --to "${ADDR[svc]}" \
      --rate "$rate" --duration "$seconds")
    echo "$who $rate $out" >> "$results"
    log "$who $rate/s: $out"
    sleep 1
  done
}

# The program, configured with a server that never answers (only its own
# start-up request goes out), answering the load.
spawn upstream upstream "$E2E_PY" "$here/../tests/e2e/peer.py" serve --silent \
  --bind "${ADDR[upstream]}" --duration 900
expect_line "$E2E_DIR/upstream.log" '^ready' 10 1 "upstream peer"
PROG_WATCH=0 prog_start kestrin svc "$program" "${ADDR[upstream]}"
expect_line "$E2E_DIR/upstream.log" '^request ' 30 1 "the program's first request"
load "$(basename "$program" .exe)"
prog_alive kestrin || log "the program died under load"
prog_stop kestrin
WINEPREFIX=$E2E_WINE_PREFIX wineserver -k 2>/dev/null

chrony_server chrony svc
expect_line "$E2E_DIR/chrony.log" 'Disabled control of system clock' 10 1 "chronyd start"
sleep 1
load chronyd

echo
echo "Server: paced mode-3 load from another namespace, ${seconds} s per rate"
printf '%-16s %8s %8s %9s %8s %10s %12s\n' server offered sent answered "loss %" "answers/s" "median ms"
awk '{ for (i = 3; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
       printf "%-16s %8s %8s %9s %8s %10s %12s\n", $1, $2, v["sent"], v["answered"],
              v["loss_pct"], v["answers_per_s"], v["median_rtt_ms"] }' "$results"
