#!/usr/bin/env bash
# First exchange and steady state against a synchronised ntpd (ntpsec,
# fed by chronyd -x; neither can set the clock: both run without the
# clock capability, ntpd never steps). Both serve the host's own clock, so
# the true offset is 0 and every delta shown is its error. kestrin.exe is
# started RUNS times and the delta of its first reply taken; then one run
# is asked EXCHANGES more times with Set Time; ntpdig asks as often.
# Prints a table and appends "client phase error_ms" lines to
# $BENCH_RESULTS/first.txt; asserts nothing.
# Usage: first.sh KESTRIN.exe WINEPREFIX [RUNS [EXCHANGES]]
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=${NS_PREFIX:-kst-bench}
source "$here/../scripts/lib/netns.sh"
source "$here/ntpservers.sh"
kestrin=$1 prefix=$2 runs=${3:-10} exchanges=${4:-20}
driver=$(dirname "$kestrin")/app_driver.exe
results=${BENCH_RESULTS:-/tmp}/first.txt

run_begin first
net_create 25 app ref ntpd
ref_chronyd ref "${ADDR[ref]}"
ntpd_fed_by ntpd "${ADDR[ref]}"
wine_prepare app "$prefix"
ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\n' "${ADDR[ntpd]}" > "$ini"

delta_ms() { sed -n 's/.*Delta: \([-+][0-9.]*\) secs.*/\1/p' | awk '{ printf "%.0f\n", $1 * 1000 }'; }

: > "$RUN_DIR/first.txt"
for i in $(seq "$runs"); do
  out=$(nsx app timeout 40 wine "$driver" first-reply "$kestrin" 2>/dev/null)
  d=$(printf '%s\n' "$out" | delta_ms)
  log "run $i: $(printf '%s\n' "$out" | tr -d '\r' | sed -n 's/^first reply shown after *//p')"
  [ -n "$d" ] && echo "kestrin first $d" >> "$RUN_DIR/first.txt"
done

# Steady state: one run, Set Time once a second, every status text logged.
wine_spawn steady app "$kestrin"
nsx app timeout 30 wine "$driver" wait-status "Last set:" 20 >/dev/null
wine_spawn watch app "$driver" watch $(( exchanges + 30 ))
wait_for "$RUN_DIR/watch.log" ' status: ' 20
sleep 0.5  # the hook is set just after the first line
for i in $(seq "$exchanges"); do
  nsx app wine "$driver" click 102 >/dev/null 2>&1
  wait_for "$RUN_DIR/watch.log" 'status: Last set:' 10 $(( i + 1 ))
  sleep 0.5
done
# The first line is the status the watch found: the first exchange's.
sed -n 's/.*status: \(Last set:.*\)/\1/p' "$RUN_DIR/watch.log" | sed 1d | delta_ms |
  awk '{ print "kestrin steady", $1 }' >> "$RUN_DIR/first.txt"
nsx app wine "$driver" escape >/dev/null 2>&1
for i in $(seq "$exchanges"); do
  set -- $(nsx app timeout 5 ntpdig -t 2 "${ADDR[ntpd]}" 2>/dev/null)
  [ -n "${4:-}" ] && awk -v o="$4" 'BEGIN { printf "ntpdig steady %.1f\n", o * 1000 }' >> "$RUN_DIR/first.txt"
done
cat "$RUN_DIR/first.txt" >> "$results"

echo
echo "First exchange after start-up and steady state against ntpd (true offset 0)"
printf '%-8s %-7s %4s %9s %9s %9s %9s\n' client phase n "mean ms" "mean|e|" "min ms" "max ms"
awk '{ k = $1 " " $2; if (!(k in n)) keys[++nk] = k; n[k]++; s[k] += $3; a[k] += $3 < 0 ? -$3 : $3
       if (!(k in lo) || $3 < lo[k]) lo[k] = $3; if (!(k in hi) || $3 > hi[k]) hi[k] = $3 }
     END { for (i = 1; i <= nk; i++) { k = keys[i]; split(k, kk, " ")
             printf "%-8s %-7s %4d %9.1f %9.1f %9.1f %9.1f\n", kk[1], kk[2], n[k], s[k] / n[k],
                    a[k] / n[k], lo[k], hi[k] } }' "$RUN_DIR/first.txt"
