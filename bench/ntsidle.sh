#!/usr/bin/env bash
# Idle cost of the Windows service with NTS on or off: kestrinsvc.exe
# registered in the prefix's copy and started by Wine's service manager,
# with chronyd (an NTS server with a test CA) in its KESTRIN.INI and NTS=1
# or not; CPU seconds and resident memory of its Wine processes over ten
# minutes (BENCH_IDLE_SECONDS: another length) after the first set. The two
# modes use namespaces of their own, so both may run side by side. Prints
# a table and appends "kestrinsvc-MODE group cpu_s rss_mib" lines to
# $BENCH_RESULTS/idle.txt; asserts nothing.
# Usage: ntsidle.sh KESTRINSVC.exe KESTNTS.DLL WINEPREFIX nts|plain
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=kst-bench
source "$here/../scripts/lib/netns.sh"
source "$here/../scripts/lib/ntsservers.sh"
source "$here/idlecost.sh"
svc_exe=$1 dll=$2 prefix=$3 mode=$4 seconds=${BENCH_IDLE_SECONDS:-600}

run_begin "ntsidle-$mode"
net_create "$([ "$mode" = nts ] && echo 27 || echo 28)" svc srv
name=nts.kestrin.test
net_hosts svc "${ADDR[srv]} $name"
nts_server svc "$name"
wine_prepare svc "$prefix"
cp "$svc_exe" "$dll" "$RUN_DIR/"
data=$WINEPREFIX/drive_c/ProgramData/Kestrin
mkdir -p "$data"
extra=
[ "$mode" = nts ] && extra=$(nts_ini_roots)
printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\nLogFile=kestrin.csv\r\n%s' \
  "$name" "$extra" > "$data/KESTRIN.INI"
program=$RUN_DIR/$(basename "$svc_exe")
nsx svc wine sc create Kestrin binPath= "$(winepath -w "$program")" start= demand >/dev/null \
  && nsx svc wine sc start Kestrin >/dev/null || fail "the service did not start"
wait_for "$data/kestrin.csv" ',accepted,set' 60 || fail "no first set"
sleep 2

idle_snapshot svc kestrinsvc > "$RUN_DIR/before.txt"
sets_before=$(grep -c ',accepted,' "$data/kestrin.csv")
log "measuring for ${seconds}s"
sleep "$seconds"
idle_snapshot svc kestrinsvc > "$RUN_DIR/after.txt"
exchanges=$(( $(grep -c ',accepted,' "$data/kestrin.csv") - sets_before ))
nsx svc wine sc stop Kestrin >/dev/null

idle_results "kestrinsvc-$mode" "$RUN_DIR/before.txt" "$RUN_DIR/after.txt" >> "${BENCH_RESULTS:-/tmp}/idle.txt"
echo
echo "Idle cost of the service with NTS $mode over ${seconds} s: ${exchanges} replies accepted in the window"
idle_table "$RUN_DIR/before.txt" "$RUN_DIR/after.txt"
