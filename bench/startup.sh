#!/usr/bin/env bash
# Start-up and footprint of the whole program under Wine: time to the window
# shown and to the first request sent, the size of kestrin.exe and
# BWCC32.DLL, and resident memory while it idles and polls. Prints figures,
# asserts nothing.
# Usage: bench/startup.sh [BUILD_UI_DIR [WINEPREFIX]]   (needs root: namespaces)
# BENCH_IDLE_SECONDS (default 120): length of the idle run; the growth per
# hour is extrapolated from it.
set -u -o pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
ui=${1:-$here/build/win32/ui} prefix=${2:-$here/build/wineprefix}
idle=${BENCH_IDLE_SECONDS:-120}
export E2E_NSPREFIX=kst-bench
# shellcheck source=../scripts/lib/netns.sh
source "$here/scripts/lib/netns.sh"

e2e_setup bench
net_create 66 app silent
# The peer never answers, so the first request's status line stays up.
spawn silent silent "$E2E_PY" "$E2E_PEERS_DIR/peer.py" serve --bind "${ADDR[silent]}" --silent \
  --duration "$((idle + 120))"
expect_line "$E2E_DIR/silent.log" '^ready' 10 1 "silent peer"
wine_prepare app "$prefix"
ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
driver=$ui/app_driver.exe

echo "== sizes"
for f in "$ui/kestrin.exe" "$ui/BWCC32.DLL"; do
  printf '%-12s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"
done

ms() { echo $(( $(date +%s%N) / 1000000 )); }
echo "== start-up (3 runs, warm prefix; wall clock from the start command)"
for i in 1 2 3; do
  printf '[KESTRIN]\r\nNTPServer=%s\r\n' "${ADDR[silent]}" > "$ini"
  t0=$(ms)
  wine_spawn "kestrin-$i" app "$ui/kestrin.exe"
  nsx app timeout 30 wine "$driver" rect 20 >/dev/null; t1=$(ms)
  nsx app timeout 30 wine "$driver" wait-status "NTP Request sent" 20 >/dev/null; t2=$(ms)
  echo "run $i: window shown after $((t1 - t0)) ms, first request sent after $((t2 - t0)) ms"
  nsx app wine "$driver" escape >/dev/null 2>&1
  wait "$LAST_PID" || true
done

echo "== resident memory while idle (poll interval 60 s, ${idle} s run)"
printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\n' "${ADDR[silent]}" > "$ini"
wine_spawn kestrin app "$ui/kestrin.exe" -h
rss() {
  local pid
  for pid in $(ns_pids app); do
    if tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -q 'kestrin\.exe'; then
      awk '/^VmRSS/ {print $2}' "/proc/$pid/status"; return
    fi
  done
  echo 0
}
sleep 5
first=$(rss); start=$SECONDS
echo "after 5 s: ${first} kB"
while [ $((SECONDS - start)) -lt "$idle" ]; do sleep 30; echo "after $((SECONDS - start + 5)) s: $(rss) kB"; done
last=$(rss); span=$((SECONDS - start))
requests=$(grep -c 'request' "$E2E_DIR/silent.log" || true)
echo "requests seen by the peer: $requests"
awk -v a="$first" -v b="$last" -v s="$span" \
  'BEGIN { printf "growth: %d kB in %d s, extrapolated %.0f kB per hour\n", b - a, s, (b - a) * 3600 / s }'
nsx app wine "$driver" escape >/dev/null 2>&1 || true
