#!/usr/bin/env bash
# Accuracy bench: the delta the program shows against a scripted peer with
# known offsets and simulated path delay, beside ntpdig's offset on the same
# paths in the same run. Prints a table and appends "path req_s reply_s
# client measured_s true_s" lines to $BENCH_RESULTS/accuracy.txt; asserts nothing.
# Usage: accuracy.sh PROGRAM.exe WINEPREFIX [EXCHANGES_PER_PATH]
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=${NS_PREFIX:-kst-bench}
source "$here/../scripts/lib/netns.sh"
source "$here/../tests/e2e/program.sh"
program=$1 prefix=$2 exchanges=${3:-50}
# The peer's clock ahead of ours, seconds, one per reply in turn: spread so
# that rounding to hundredths averages out; all within the 0.5 s in which
# Wine reports a set as done and leaves the clock alone.
offsets=-0.237,0.123,0.351,-0.049,0.018

run_begin accuracy
net_create 21 svc peer
wine_prepare svc "$prefix"

# Paths: name, request hold, reply hold (seconds). The delay is simulated in
# the peer: holding a request before stamping T2 is request-path delay,
# holding the answer after stamping T3 is reply-path delay.
paths=("none 0 0" "sym-20ms 0.020 0.020" "req+40ms 0.040 0" "reply+40ms 0 0.040")
results=$RUN_DIR/results.txt
: > "$results"

for p in "${paths[@]}"; do
  set -- $p
  name=$1 dreq=$2 drep=$3
  spawn "peer-$name" peer "$PYTHON" "$here/../tests/e2e/peer.py" serve --bind "${ADDR[peer]}" \
    --offsets="$offsets" --req-delay "$dreq" --reply-delay "$drep" --duration 900
  expect_line "$RUN_DIR/peer-$name.log" '^ready' 10 1 "peer"
  peer_pid=$LAST_PID
  # One run per path: the request at start, then one a second (host actions).
  actions=()
  for i in $(seq 1 $(( exchanges - 1 ))); do actions+=(-a "$(( i * 1000 )):sendnow"); done
  prog_start "run-$name" svc "$program" "${ADDR[peer]}" "${actions[@]}" -t $(( exchanges + 3 ))
  wait_for_status "run-$name" '^Last set: ' $(( exchanges + 20 )) "$exchanges" \
    || { log "$name: only $(status_lines "run-$name" | grep -c '^Last set: ') replies shown;" \
           "the program's and the peer's last lines:"
         tail -n 4 "$RUN_DIR/run-$name.log" "$RUN_DIR/peer-$name.log" >&2; }
  prog_stop "run-$name"
  # The peer's replies are paired in order: first the program's, then ntpdig's.
  status_lines "run-$name" | sed -n 's/.*Delta: \([-+][0-9.]*\) secs$/\1/p' > "$RUN_DIR/k-$name.txt"
  k=$(wc -l < "$RUN_DIR/k-$name.txt")
  : > "$RUN_DIR/n-$name.txt"
  for i in $(seq "$exchanges"); do
    out=$(nsx svc timeout 5 ntpdig -t 2 "${ADDR[peer]}" 2>/dev/null)
    set -- $out
    echo "${4:-miss}" >> "$RUN_DIR/n-$name.txt"
  done
  sed -n 's/^reply .* offset=//p' "$RUN_DIR/peer-$name.log" > "$RUN_DIR/o-$name.txt"
  replies=$(wc -l < "$RUN_DIR/o-$name.txt")
  [ "$replies" -eq $(( k + $(grep -cv miss "$RUN_DIR/n-$name.txt") )) ] \
    || log "$name: $replies replies for $k shown deltas; pairing may be off"
  { awk -v n="$name $dreq $drep" '{ print n, "kestrin", $1 }' "$RUN_DIR/k-$name.txt"
    awk -v n="$name $dreq $drep" '{ print n, "ntpdig", $1 }' "$RUN_DIR/n-$name.txt"
  } | paste -d' ' - <(cat "$RUN_DIR/o-$name.txt"; yes miss | head -n "$exchanges") |
    head -n $(( k + exchanges )) >> "$results"
  for i in $(seq $(( k + 1 )) "$exchanges"); do echo "$name $dreq $drep kestrin miss 0" >> "$results"; done
  kill "$peer_pid"; wait "$peer_pid" 2>/dev/null
done

cat "$results" >> "${BENCH_RESULTS:-/tmp}/accuracy.txt"

echo
echo "Accuracy: measured offset minus the peer's true offset (${offsets} s in turn)"
echo "(path delay simulated in the peer; the kernel here has no netem)."
echo "Expected error for both: (request delay - reply delay) / 2. Kestrin also"
echo "shows hundredths (up to 5 ms either way)."
awk '
  { k = $1 " " $4; if (!(k in seen)) { seen[k] = 1; keys[++nk] = k; want[k] = ($2 - $3) / 2 * 1000 } }
  $5 == "miss" || $6 == "miss" { miss[k]++; next }
  { e = ($5 - $6) * 1000; ae = e < 0 ? -e : e
    n[k]++; s[k] += e; ss[k] += e * e; a[k] += ae; if (ae > mx[k]) mx[k] = ae }
  END {
    printf "%-12s %-8s %4s %4s %9s %9s %9s %9s %9s\n", "path", "client", "n", "miss",
           "expect ms", "mean ms", "mean|e|", "max|e|", "sd ms"
    for (i = 1; i <= nk; i++) { k = keys[i]; split(k, kk, " ")
      m = n[k] ? s[k] / n[k] : 0; v = n[k] ? ss[k] / n[k] - m * m : 0
      printf "%-12s %-8s %4d %4d %9.1f %9.1f %9.1f %9.1f %9.1f\n", kk[1], kk[2], n[k], miss[k],
             want[k], m, n[k] ? a[k] / n[k] : 0, mx[k], sqrt(v > 0 ? v : 0) }
  }' "$results"
