#!/usr/bin/env bash
# The summary of one bench run: every figure beside its baseline from the
# same run, read from the results the benches left in DIR.
# Usage: summary.sh DIR
# Not -e or pipefail: a step that fails (loss, a missed reply, a bench that
# could not run) is a result to record, and the run goes on to the next.
set -u
dir=$1
f() { [ -s "$dir/$1" ] && cat "$dir/$1"; }
median() { sort -n | awk '{ a[++n] = $1 } END { if (!n) print "-"; else if (n % 2) print a[(n + 1) / 2]; else print (a[n / 2] + a[n / 2 + 1]) / 2 }'; }
row() { printf '%-44s %14s %14s   %s\n' "$@"; }

echo "Summary (Kestrin beside its baseline, one run)"
row figure Kestrin baseline "baseline is"
if f footprint.txt >/dev/null; then
  k=$(awk '$1 == "kestrin.exe" || $1 == "BWCC32.DLL" { s += $2 } END { printf "%.1f", s / 1024 }' "$dir/footprint.txt")
  b=$(awk '$1 == "baseline.exe" { printf "%.1f", $2 / 1024 }' "$dir/footprint.txt")
  row "size, KiB (kestrin.exe + BWCC32.DLL)" "$k" "$b" "baseline.exe"
fi
if f startup.txt >/dev/null; then
  row "window shown, median ms" "$(awk '$1 == "kestrin" { print $2 }' "$dir/startup.txt" | median)" \
    "$(awk '$1 == "baseline" { print $2 }' "$dir/startup.txt" | median)" "baseline.exe"
  row "first request after the window, median ms" \
    "$(awk '$1 == "kestrin" && $3 != "-" { print $3 - $2 }' "$dir/startup.txt" | median)" "-" ""
fi
if f idle.txt >/dev/null; then
  for g in program wineserver; do
    row "idle CPU s over $(awk '$2 == "seconds" { print $3; exit }' "$dir/idle.txt") s, $g" "$(awk -v g="$g" '$1 == "kestrin" && $2 == g { print $3 }' "$dir/idle.txt")" \
      "$(awk -v g="$g" '$1 == "baseline" && $2 == g { print $3 }' "$dir/idle.txt")" "baseline.exe"
  done
  row "idle resident memory, program MiB" "$(awk '$1 == "kestrin" && $2 == "program" { print $4 }' "$dir/idle.txt")" \
    "$(awk '$1 == "baseline" && $2 == "program" { print $4 }' "$dir/idle.txt")" "baseline.exe"
  if grep -q '^kestrinsvc ' "$dir/idle.txt"; then
    for g in program wineserver; do
      row "  the service kestrinsvc.exe, $g" "$(awk -v g="$g" '$1 == "kestrinsvc" && $2 == g { print $3 }' "$dir/idle.txt")" \
        "$(awk -v g="$g" '$1 == "baseline" && $2 == g { print $3 }' "$dir/idle.txt")" "baseline.exe"
    done
    row "  the service's resident memory, MiB" "$(awk '$1 == "kestrinsvc" && $2 == "program" { print $4 }' "$dir/idle.txt")" \
      "$(awk '$1 == "baseline" && $2 == "program" { print $4 }' "$dir/idle.txt")" "baseline.exe"
  fi
fi
if f server.txt >/dev/null; then
  # max WHO RATE LIMITED; rate WHO ASKED OFFERED ANSWERS LOSS LO HI SHORT CPU P99 MEDIAN MAX;
  # over WHO FACTOR ASKED OFFERED ANSWERS LOSS SHORT P99
  served() { awk -v w="$1" '$1 == "max" && $2 == w { print $3 ($4 ? "+" : "") }' "$dir/server.txt"; }
  at() { awk -v w="$1" -v c="$2" '$1 == "max" && $2 == w { m = $3 } $1 == "rate" && $2 == w { v[$3] = $c }
    END { print (m in v) ? v[m] : "-" }' "$dir/server.txt"; }
  over() { awk -v w="$1" -v f="$2" '$1 == "over" && $2 == w && $3 == f { printf "%s, %s ms%s", $6, $9, $8 ? "*" : "" }' "$dir/server.txt"; }
  row "served rate (loss <= 0.1 %, p99 <= 10 ms), /s" "$(served kestrin)" "$(served answerer)" "answerer.exe (Kestrin's design)"
  row "" "" "$(served plainans)" "plainans.exe (blocking loop)"
  row "" "" "$(served chronyd)" "chronyd"
  row "  as a share of the better bare answerer's" "$(awk '$1 == "max" { m[$2] = $3 }
    END { b = m["answerer"] > m["plainans"] ? m["answerer"] : m["plainans"]
          if (b > 0 && "kestrin" in m) printf "%.2fx", m["kestrin"] / b; else print "-" }' "$dir/server.txt")" "-" ""
  row "  p99 / median round trip there, ms" "$(at kestrin 11) / $(at kestrin 12)" "$(at answerer 11) / $(at answerer 12)" "answerer.exe"
  row "" "" "$(at plainans 11) / $(at plainans 12)" "plainans.exe"
  row "  processor us per answer there (+wineserver)" "$(at kestrin 10)" "$(at answerer 10)" "answerer.exe"
  if grep -q '^max kestrin-old ' "$dir/server.txt"; then
    row "  the previous build, served rate /s" "$(served kestrin-old)" "-" ""
  fi
  for f in 2 4 8; do
    row "answers/s and p99 at ${f}x own served rate" "$(over kestrin $f)" "$(over answerer $f)" "answerer.exe"
    row "" "" "$(over plainans $f)" "plainans.exe"
  done
  awk '$1 == "load" { printf "%-44s %14s\n", "load average at the start", $2 }' "$dir/server.txt"
  awk '$1 == "rate" && $9 { s = s " " $2 "@" $3 } END { if (s != "") printf "%-44s %s\n", "rates the generator could not offer:", s }' "$dir/server.txt"
  # A rate above the bisected one that was served: the machine's other
  # work moved during the search, and the figure is not to be trusted.
  awk '$1 == "max" { m[$2] = $3 } $1 == "rate" && !$9 && $11 != "-" && $6 <= 0.1 && $11 <= 10 { z[$2] = z[$2] " " $3 }
       END { for (w in z) { n = split(z[w], r, " "); for (i = 1; i <= n; i++) if (r[i] > m[w]) s = s " " w "@" r[i] }
             if (s != "") printf "%-44s %s\n", "served above the bisected rate (unsteady):", s }' "$dir/server.txt"
  awk '$1 == "flood" { printf "%-44s %14s %14s   %s\n", "flood " $2 "/s, " $3 " s: window answers, median ms", $6, "-", "";
                       printf "%-44s %14s %14s   %s\n", "  longest wait ms; polls sent (1 due)", $7 "; " $4, "-", "" }' "$dir/server.txt"
fi
if f first.txt >/dev/null; then
  for phase in first steady; do
    row "vs ntpd, $phase exchange, mean error ms" \
      "$(awk -v p="$phase" '$1 == "kestrin" && $2 == p { s += $3; n++ } END { if (n) printf "%.1f (n=%d)", s / n, n }' "$dir/first.txt")" \
      "$(awk '$1 == "ntpdig" { s += $3; n++ } END { if (n) printf "%.2f (n=%d)", s / n, n }' "$dir/first.txt")" "ntpdig, steady"
  done
fi
# The previous build, when the run measured one (bench/run.sh --old).
if [ -s "$dir/old/first.txt" ]; then
  for phase in first steady; do
    row "vs ntpd, $phase exchange, mean |error| ms" \
      "$(awk -v p="$phase" '$1 == "kestrin" && $2 == p { s += $3 < 0 ? -$3 : $3; n++ } END { if (n) printf "%.1f (n=%d)", s / n, n }' "$dir/first.txt")" \
      "$(awk -v p="$phase" '$1 == "kestrin" && $2 == p { s += $3 < 0 ? -$3 : $3; n++ } END { if (n) printf "%.1f (n=%d)", s / n, n }' "$dir/old/first.txt")" "the previous build"
  done
fi
if [ -s "$dir/old/accuracy.txt" ] && [ -s "$dir/accuracy.txt" ]; then
  for path in none sym-20ms req+40ms reply+40ms; do
    # The error beyond what the path's asymmetry must give, (request - reply) / 2.
    e() { awk -v p="$path" '$1 == p && $4 == "kestrin" && $5 != "miss" && $6 != "miss" { e = ($5 - $6 - ($2 - $3) / 2) * 1000; s += e < 0 ? -e : e; n++ } END { if (n) printf "%.1f (n=%d)", s / n, n }' "$1"; }
    row "scripted peer, $path path, mean |error - expected| ms" "$(e "$dir/accuracy.txt")" "$(e "$dir/old/accuracy.txt")" "the previous build"
  done
fi
if f accuracy.txt >/dev/null; then
  for path in none sym-20ms; do
    row "scripted peer, $path path, mean |error| ms" \
      "$(awk -v p="$path" '$1 == p && $4 == "kestrin" && $5 != "miss" && $6 != "miss" { e = ($5 - $6) * 1000; s += e < 0 ? -e : e; n++ } END { if (n) printf "%.1f", s / n }' "$dir/accuracy.txt")" \
      "$(awk -v p="$path" '$1 == p && $4 == "ntpdig" && $5 != "miss" && $6 != "miss" { e = ($5 - $6) * 1000; s += e < 0 ? -e : e; n++ } END { if (n) printf "%.1f", s / n }' "$dir/accuracy.txt")" "ntpdig"
  done
fi
