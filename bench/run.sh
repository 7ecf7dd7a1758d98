#!/usr/bin/env bash
# Runs the benches (accuracy, server, idle cost) one after another and prints
# their tables. Needs root and a cross build with the test host.
# Usage: bench/run.sh [--quick] [--program EXE] [--ui EXE] [--prefix WINEPREFIX] [BENCH...]
#   BENCH: accuracy, server, idle (default: all three)
#   --program: the test host kestrin_svchost.exe (default: the one in build/win32,
#              the cross tree scripts/build.sh makes)
#   --ui: kestrin.exe, whose server load and idle cost are measured too
#         (default: the same build tree's)
#   --quick: 10 exchanges per path, 2 s per load rate, one idle minute
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
quick=0 program= ui= prefix=$root/build/wineprefix benches=()
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1 ;;
    --program) program=$2; shift ;;
    --ui) ui=$2; shift ;;
    --prefix) prefix=$2; shift ;;
    accuracy|server|idle) benches+=("$1") ;;
    *) echo "usage: $0 [--quick] [--program EXE] [--ui EXE] [--prefix DIR] [accuracy|server|idle]..." >&2; exit 2 ;;
  esac
  shift
done
[ ${#benches[@]} -gt 0 ] || benches=(accuracy server idle)
[ -n "$program" ] || program=$root/build/win32/tests/wine/svchost/kestrin_svchost.exe
[ -n "$program" ] && [ -f "$program" ] || { echo "no kestrin_svchost.exe; build the cross tree or pass --program" >&2; exit 1; }
[ -n "$ui" ] || ui=$(dirname "$program")/../../../ui/kestrin.exe
[ -f "$ui" ] && ui=$(cd "$(dirname "$ui")" && pwd)/kestrin.exe || ui=
echo "program: $program"
[ -n "$ui" ] && echo "kestrin.exe: $ui"

for b in "${benches[@]}"; do
  echo
  echo "=== $b ==="
  case $b:$quick in
    accuracy:1) args=(10) ;;
    accuracy:0) args=(50) ;;
    server:1) args=(2) ;;
    server:0) args=(5) ;;
    idle:1) args=(--quick) ;;
    idle:0) args=() ;;
  esac
  programs=("$program")
  [ "$b" != accuracy ] && [ -n "$ui" ] && programs+=("$ui")
  for p in "${programs[@]}"; do
    log=$root/build/tmp/bench-$b.log
    mkdir -p "$root/build/tmp"
    bash "$here/$b.sh" "$p" "$prefix" "${args[@]}" 2> "$log" \
      || { echo "$b failed; see $log" >&2; tail -n 5 "$log" >&2; }
  done
done
