#!/usr/bin/env bash
# Runs the benches and prints each table, then one summary with Kestrin
# beside its baseline (the bare baseline.exe and answerer.exe, chronyd,
# ntpdig), all measured in this run, and redraws the charts of the benches
# run into docs/bench/ with gnuplot (measured.txt says when and where). Needs
# root and the cross build (scripts/build.sh). Asserts nothing.
# Usage: bench/run.sh [--quick] [--old WIN32_TREE] [BENCH...]
#   BENCH: footprint, startup, accuracy, first, server, idle, nts, ntsidle (default: all)
#   --quick: short runs of each (3 starts, 10 exchanges a path, 2 s a rate,
#            one idle minute); the charts are then not redrawn
#   --old: another build's cross tree (such as the last release's): accuracy
#          and first measure it too, beside this one, and server measures
#          its kestrin.exe as "kestrin-old"
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
quick=0 old= benches=()
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1 ;;
    --old) old=$(cd "$2" && pwd) || exit 2; shift ;;
    footprint|startup|accuracy|first|server|idle|nts|ntsidle) benches+=("$1") ;;
    *) echo "usage: $0 [--quick] [--old WIN32_TREE] [footprint|startup|accuracy|first|server|idle|nts|ntsidle]..." >&2; exit 2 ;;
  esac
  shift
done
[ ${#benches[@]} -gt 0 ] || benches=(footprint startup accuracy first server idle nts ntsidle)
win=$root/build/win32
kestrin=$win/ui/kestrin.exe
svchost=$win/tests/wine/harness/kestrin_svchost.exe
baseline=$win/bench/baseline/baseline.exe
answerer=$win/bench/baseline/answerer.exe
plainans=$win/bench/baseline/plainans.exe
kestrinsvc=$win/ntservice/kestrinsvc.exe
prefix=$root/build/wineprefix
for f in "$kestrin" "$svchost" "$baseline" "$answerer" "$plainans" "$root/dist/kestrin.exe" \
         ${old:+"$old/ui/kestrin.exe" "$old/tests/wine/harness/kestrin_svchost.exe"}; do
  [ -f "$f" ] || { echo "no $f: run scripts/build.sh first" >&2; exit 1; }
done
export BENCH_RESULTS=$root/build/bench
rm -rf "$BENCH_RESULTS"; mkdir -p "$BENCH_RESULTS"

source "$root/scripts/lib/paths.sh"
[ -x "$CHRONYD" ] && [ -x "$NTPD" ] || { echo "no unpacked chronyd or ntpd: run scripts/setup.sh" >&2; exit 1; }

q() { [ "$quick" = 1 ] && echo "$1" || echo "$2"; }
for b in "${benches[@]}"; do
  echo
  echo "=== $b ==="
  log=$BENCH_RESULTS/$b.log
  case $b in
    footprint)
      for f in "$root/dist/kestrin.exe" "$root/dist/BWCC32.DLL" "$win/nts/KESTNTS.DLL" "$baseline"; do
        printf '%s %d\n' "$(basename "$f")" "$(stat -c %s "$f")"
      done | tee "$BENCH_RESULTS/footprint.txt" ;;
    startup) bash "$here/startup.sh" "$kestrin" "$baseline" "$prefix" "$(q 3 10)" 2> "$log" ;;
    accuracy)
      bash "$here/accuracy.sh" "$svchost" "$prefix" "$(q 10 50)" 2> "$log"
      [ -z "$old" ] || { echo "--- the previous build ($old)"; mkdir -p "$BENCH_RESULTS/old"
        BENCH_RESULTS=$BENCH_RESULTS/old bash "$here/accuracy.sh" "$old/tests/wine/harness/kestrin_svchost.exe" \
          "$prefix" "$(q 10 50)" 2> "$log.old"; } ;;
    first)
      bash "$here/first.sh" "$kestrin" "$prefix" "$(q 3 10)" "$(q 5 20)" 2> "$log"
      [ -z "$old" ] || { echo "--- the previous build ($old)"; mkdir -p "$BENCH_RESULTS/old"
        BENCH_RESULTS=$BENCH_RESULTS/old bash "$here/first.sh" "$old/ui/kestrin.exe" \
          "$prefix" "$(q 3 10)" "$(q 5 20)" 2> "$log.old"; } ;;
    server) BENCH_KESTRIN_OLD=${old:+$old/ui/kestrin.exe} bash "$here/server.sh" "$kestrin" "$prefix" "$(q 2 4)" 2> "$log" ;;
    nts) bash "$here/nts.sh" "$win/tests/e2e/ntsprobe.exe" "$win/nts/KESTNTS.DLL" "$prefix" "$(q 2 5)" "$kestrin" 2> "$log" ;;
    idle)
      # Side by side, each with its own namespaces, prefix copy and display.
      bash "$here/idle.sh" "$kestrin" "$prefix" $(q --quick "") \
        > "$BENCH_RESULTS/idle-kestrin.out" 2> "$log" &
      bash "$here/idle.sh" "$baseline" "$prefix" $(q --quick "") \
        > "$BENCH_RESULTS/idle-baseline.out" 2> "$log.baseline" &
      bash "$here/idle.sh" "$kestrinsvc" "$prefix" $(q --quick "") \
        > "$BENCH_RESULTS/idle-kestrinsvc.out" 2> "$log.service" &
      wait
      cat "$BENCH_RESULTS/idle-kestrin.out" "$BENCH_RESULTS/idle-baseline.out" \
          "$BENCH_RESULTS/idle-kestrinsvc.out" ;;
    ntsidle)
      # The service with NTS on and off, side by side against one kind of chronyd.
      for mode in nts plain; do
        BENCH_IDLE_SECONDS=$(q 60 600) bash "$here/ntsidle.sh" "$kestrinsvc" "$win/nts/KESTNTS.DLL" \
          "$prefix" "$mode" > "$BENCH_RESULTS/ntsidle-$mode.out" 2> "$log.$mode" &
      done
      wait
      cat "$BENCH_RESULTS/ntsidle-nts.out" "$BENCH_RESULTS/ntsidle-plain.out" ;;
  esac || { echo "$b failed; see $log" >&2; tail -n 5 "$log" >&2; }
done

echo
bash "$here/summary.sh" "$BENCH_RESULTS"
if [ "$quick" = 0 ]; then
  bash "$here/plot.sh" "$BENCH_RESULTS" "$root/docs/bench" && echo "charts in docs/bench/"
fi
