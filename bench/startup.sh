#!/usr/bin/env bash
# Start-up bench: milliseconds from the start command to the first visible
# window, for kestrin.exe and for the bare baseline.exe, runs interleaved
# under the same Wine and prefix; for Kestrin also to its first request
# (no start delay; the server never answers). The sizes of both. Prints a
# table and appends "program window_ms request_ms" lines to
# $BENCH_RESULTS/startup.txt; asserts nothing.
# Usage: startup.sh KESTRIN.exe BASELINE.exe WINEPREFIX [RUNS]
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=${NS_PREFIX:-kst-bench}
source "$here/../scripts/lib/netns.sh"
kestrin=$1 baseline=$2 prefix=$3 runs=${4:-10}
driver=$(dirname "$kestrin")/app_driver.exe
results=${BENCH_RESULTS:-/tmp}/startup.txt

run_begin startup
net_create 24 app silent
spawn silent silent "$PYTHON" "$here/../tests/e2e/peer.py" serve --bind "${ADDR[silent]}" --silent \
  --duration 900
expect_line "$RUN_DIR/silent.log" '^ready' 10 1 "silent peer"
wine_prepare app "$prefix"
ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI

ms_of() { printf '%s\n' "$1" | tr -d '\r' | sed -n "s/^$2 after *\([0-9]*\) ms.*/\1/p"; }
: > "$RUN_DIR/startup.txt"
# Run 0 of each only warms the caches.
for i in $(seq 0 "$runs"); do
  out=$(nsx app timeout 60 wine "$driver" startup-window "$baseline" 2>/dev/null)
  w=$(ms_of "$out" "window shown")
  [ "$i" -gt 0 ] && [ -n "$w" ] && echo "baseline $w -" >> "$RUN_DIR/startup.txt"
  printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\n' "${ADDR[silent]}" > "$ini"
  out=$(nsx app timeout 60 wine "$driver" startup "$kestrin" 2>/dev/null)
  w=$(ms_of "$out" "window shown") r=$(ms_of "$out" "first request sent")
  [ "$i" -gt 0 ] && [ -n "$w" ] && echo "kestrin $w ${r:--}" >> "$RUN_DIR/startup.txt"
  log "run $i: $(tail -n 2 "$RUN_DIR/startup.txt" | tr '\n' ' ')"
done
cat "$RUN_DIR/startup.txt" >> "$results"

echo
echo "Start-up under Wine, ${runs} runs each, interleaved (ms from the start command)"
printf '%-10s %4s %14s %14s %22s\n' program n "window median" "window range" "request - window median"
for p in baseline kestrin; do
  awk -v p="$p" '$1 == p { w[++n] = $2; if ($3 != "-") r[++m] = $3 - $2 }
    function median(a, k,   i, j, t) { for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++)
        if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
      return k ? (k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2) : "-" }
    END { lo = hi = w[1]; for (i = 1; i <= n; i++) { if (w[i] < lo) lo = w[i]; if (w[i] > hi) hi = w[i] }
          mw = median(w, n); mr = median(r, m)
          printf "%-10s %4d %14s %14s %22s\n", p, n, mw, lo "-" hi, mr }' "$RUN_DIR/startup.txt"
done
