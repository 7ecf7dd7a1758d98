#!/usr/bin/env bash
# Idle-cost bench: CPU seconds and resident memory of the running program
# (its Wine process, its wineserver and Wine's helper processes) over ten
# minutes (--quick: one minute) with a 60 s poll. The peer is the scripted
# one, 0.2 s ahead: every set is then worse than the 100 ms maximum delta,
# so the interval stays at its 60 s base instead of doubling. baseline.exe,
# the bare program with the same one-second timer, is measured the same way
# (it sends nothing). kestrinsvc.exe, the Windows service, is registered in
# the prefix's copy and started by Wine's service manager, with the peer in
# its KESTRIN.INI and no window. Prints a table and appends "program group
# cpu_s rss_mib" lines to $BENCH_RESULTS/idle.txt; asserts nothing. Runs may
# go side by side. BENCH_IDLE_SECONDS: another length.
# Usage: idle.sh PROGRAM.exe WINEPREFIX [--quick]
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=${NS_PREFIX:-kst-bench}
source "$here/../scripts/lib/netns.sh"
source "$here/../tests/e2e/program.sh"
source "$here/idlecost.sh"
program=$1 prefix=$2 seconds=${BENCH_IDLE_SECONDS:-600}
[ "${3:-}" = --quick ] && seconds=60

exe=$(basename "$program")
run_begin "idle-${exe%.exe}"
net_create 23 svc srv
spawn peer srv "$PYTHON" "$here/../tests/e2e/peer.py" serve --bind "${ADDR[srv]}" \
  --offset 0.2 --duration $(( seconds + 120 ))
expect_line "$RUN_DIR/peer.log" '^ready' 10 1 "peer start"
wine_prepare svc "$prefix"
if [ "$exe" = baseline.exe ]; then
  wine_spawn idle svc "$program"
  PROG_PIDS[idle]=$LAST_PID
  sleep 5  # nothing to wait for: it only ticks
elif [ "$exe" = kestrinsvc.exe ]; then
  mkdir -p "$WINEPREFIX/drive_c/ProgramData/Kestrin"
  printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\n' "${ADDR[srv]}" \
    > "$WINEPREFIX/drive_c/ProgramData/Kestrin/KESTRIN.INI"
  nsx svc wine sc create Kestrin binPath= "$(winepath -w "$program")" start= demand >/dev/null \
    && nsx svc wine sc start Kestrin >/dev/null || fail "the service did not start"
  expect_line "$RUN_DIR/peer.log" '^reply ' 30 1 "first exchange"
  sleep 2  # as for the window: start-up work done
else
  PROG_WATCH=0 prog_start idle svc "$program" "${ADDR[srv]}"
  expect_line "$RUN_DIR/peer.log" '^reply ' 30 1 "first exchange"
  sleep 2  # let start-up work finish before the window opens
fi

# snapshot: every process in the two namespaces.
snapshot() {
  local pid
  idle_snapshot svc "$exe"
  for pid in $(ns_pids srv); do idle_proc "$pid" python-peer; done
}
snapshot > "$RUN_DIR/before.txt"
requests_before=$(grep -c '^request ' "$RUN_DIR/peer.log")
log "measuring for ${seconds}s"
sleep "$seconds"
snapshot > "$RUN_DIR/after.txt"
requests=$(( $(grep -c '^request ' "$RUN_DIR/peer.log") - requests_before ))
if [ "$exe" = kestrinsvc.exe ]; then
  nsx svc wine sc stop Kestrin >/dev/null
else
  prog_alive idle || log "the program died while idle"
  prog_stop idle
fi

{ idle_results "${exe%.exe}" "$RUN_DIR/before.txt" "$RUN_DIR/after.txt"
  echo "${exe%.exe} seconds $seconds 0"; } >> "${BENCH_RESULTS:-/tmp}/idle.txt"

echo
echo "Idle cost of $(basename "$program") over ${seconds} s, 60 s poll: ${requests} requests in the window"
idle_table "$RUN_DIR/before.txt" "$RUN_DIR/after.txt"
