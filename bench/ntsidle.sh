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
svc_exe=$1 dll=$2 prefix=$3 mode=$4 seconds=${BENCH_IDLE_SECONDS:-600}
tick=$(getconf CLK_TCK)

run_begin "ntsidle-$mode"
net_create "$([ "$mode" = nts ] && echo 27 || echo 28)" svc srv
name=nts.kestrin.test
net_hosts svc "${ADDR[srv]} $name"
nts_ca ca
nts_cert srv ca "$name"
nts_chronyd chrony srv srv
chrony_ready svc "${ADDR[srv]}" 20
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

proc_line() {
  awk -v pid="$1" -v g="$2" '
    FNR == NR { sub(/^.*\) /, ""); split($0, f, " "); cpu = f[12] + f[13]; next }
    /^VmRSS:/ { rss = $2 }
    END { print pid, g, cpu, rss + 0 }' "/proc/$1/stat" "/proc/$1/status" 2>/dev/null
}
snapshot() {
  local pid cmd group
  for pid in $(ns_pids svc); do
    cmd=$(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null) || continue
    case $cmd in
      *kestrinsvc*) group=program ;;
      *wineserver*) group=wineserver ;;
      *) group=wine-helpers ;;
    esac
    proc_line "$pid" "$group"
  done
}
snapshot > "$RUN_DIR/before.txt"
sets_before=$(grep -c ',accepted,' "$data/kestrin.csv")
log "measuring for ${seconds}s"
sleep "$seconds"
snapshot > "$RUN_DIR/after.txt"
exchanges=$(( $(grep -c ',accepted,' "$data/kestrin.csv") - sets_before ))
nsx svc wine sc stop Kestrin >/dev/null

awk -v p="kestrinsvc-$mode" -v tick="$tick" '
  FNR == NR { before[$1] = $3; next }
  { cpu[$2] += ($3 - ($1 in before ? before[$1] : 0)) / tick; rss[$2] += $4 / 1024 }
  END { for (g in cpu) printf "%s %s %.2f %.1f\n", p, g, cpu[g], rss[g] }' \
  "$RUN_DIR/before.txt" "$RUN_DIR/after.txt" >> "${BENCH_RESULTS:-/tmp}/idle.txt"
echo
echo "Idle cost of the service with NTS $mode over ${seconds} s: ${exchanges} replies accepted in the window"
printf '%-16s %6s %12s %12s\n' group procs "cpu seconds" "rss MiB"
awk -v tick="$tick" '
  FNR == NR { before[$1] = $3; next }
  { g = $2; n[g]++; cpu[g] += ($3 - ($1 in before ? before[$1] : 0)) / tick; rss[g] += $4 / 1024 }
  END {
    split("program wineserver wine-helpers", order, " ")
    for (i = 1; i <= 3; i++) { g = order[i]; if (!(g in n)) continue
      printf "%-16s %6d %12.2f %12.1f\n", g, n[g], cpu[g], rss[g]
      tn += n[g]; tc += cpu[g]; tr += rss[g] }
    printf "%-16s %6d %12.2f %12.1f\n", "wine total", tn, tc, tr }' \
  "$RUN_DIR/before.txt" "$RUN_DIR/after.txt"
