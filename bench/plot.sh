#!/usr/bin/env bash
# Draws the results of one bench run (DIR, as bench/run.sh leaves them) as
# PNG charts into OUT with gnuplot: error per path for Kestrin and ntpdig,
# answers per second and the p99 round trip against offered rate for
# Kestrin, the two bare answerers and chronyd, start-up and idle cost beside the bare program. Only the charts
# whose results DIR holds are drawn; OUT/measured.txt keeps one line per
# chart: when, where and under what load it was measured.
# Usage: plot.sh DIR OUT
set -euo pipefail
dir=$1 out=$2
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
style='set terminal pngcairo size 800,480 font "DejaVu Sans,10"; set grid ytics; set key top left'

has() { [ -s "$dir/$1" ]; }
drawn=()

# Error per path: mean with the range, ms; the scripted paths, then ntpd.
if has accuracy.txt && has first.txt; then
awk '$5 != "miss" && $6 != "miss" { print $1, $4, ($5 - $6) * 1000 }' "$dir/accuracy.txt" > "$tmp/err.txt"
awk '$1 == "kestrin" { print "ntpd-" $2, "kestrin", $3 } $1 == "ntpdig" { print "ntpd-first", "ntpdig", $3; print "ntpd-steady", "ntpdig", $3 }' \
  "$dir/first.txt" >> "$tmp/err.txt"
awk '{ k = $1 SUBSEP $2; if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 }
       s[k] += $3; c[k]++; if (!(k in lo) || $3 < lo[k]) lo[k] = $3; if (!(k in hi) || $3 > hi[k]) hi[k] = $3 }
     END { for (i = 1; i <= n; i++) { p = order[i]; a = p SUBSEP "kestrin"; b = p SUBSEP "ntpdig"
             printf "%d %s %.2f %.2f %.2f %.2f %.2f %.2f\n", i - 1, p, s[a] / c[a], lo[a], hi[a],
                    c[b] ? s[b] / c[b] : 0, c[b] ? lo[b] : 0, c[b] ? hi[b] : 0 } }' "$tmp/err.txt" > "$tmp/err.dat"
gnuplot <<EOG
$style
set output "$out/accuracy.png"
set title "Error of the measured offset per path: mean and range (ms)"
set ylabel "measured - true offset, ms"
set xrange [-0.5:$(wc -l < "$tmp/err.dat") - 0.5]
set xtics rotate by -20
plot "$tmp/err.dat" using (\$1-0.1):3:4:5:xtic(2) with yerrorbars pt 7 title "Kestrin", \
     "" using (\$1+0.1):6:7:8 with yerrorbars pt 5 title "ntpdig", 0 with lines lc "black" notitle
EOG
drawn+=(accuracy.png)
fi

# Answered, and how late, against offered rate: the median run of each rate.
if has server.txt; then
for s in kestrin answerer plainans chronyd; do
  awk -v s="$s" '$1 == "rate" && $2 == s { print $4, $5, ($11 == "-" ? "NaN" : $11) }' "$dir/server.txt" |
    sort -n > "$tmp/$s.dat"
done
served() { awk -v w="$1" '$1 == "max" && $2 == w { print $3 }' "$dir/server.txt"; }
gnuplot <<EOG
$style
set terminal pngcairo size 1000,480 font "DejaVu Sans,10"
set output "$out/server.png"
set multiplot layout 1,2 title "Paced mode-3 load, median of 3 runs; served: loss <= 0.1 % and p99 <= 10 ms"
set xlabel "offered requests/s"
set logscale xy
set title "Answers per second"
set ylabel "answers/s"
plot "$tmp/kestrin.dat" using 1:2 with linespoints pt 7 title "Kestrin (served $(served kestrin)/s)", \
     "$tmp/answerer.dat" using 1:2 with linespoints pt 9 title "answerer.exe, Kestrin's design ($(served answerer)/s)", \
     "$tmp/plainans.dat" using 1:2 with linespoints pt 11 title "plainans.exe, blocking loop ($(served plainans)/s)", \
     "$tmp/chronyd.dat" using 1:2 with linespoints pt 5 title "chronyd ($(served chronyd)/s)", \
     x with lines dt 2 lc "gray" title "all answered"
set title "99th percentile round trip"
set ylabel "p99 round trip, ms"
set key top left
plot "$tmp/kestrin.dat" using 1:3 with linespoints pt 7 title "Kestrin", \
     "$tmp/answerer.dat" using 1:3 with linespoints pt 9 title "answerer.exe", \
     "$tmp/plainans.dat" using 1:3 with linespoints pt 11 title "plainans.exe", \
     "$tmp/chronyd.dat" using 1:3 with linespoints pt 5 title "chronyd", \
     10 with lines dt 2 lc "red" title "10 ms"
unset multiplot
EOG
drawn+=(server.png)
fi

# Start-up and idle cost beside the bare program.
if has startup.txt && has idle.txt; then
med() { sort -n | awk '{ a[++n] = $1 } END { print n ? (n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2) : 0 }'; }
{
  echo "\"window shown, ms\" $(awk '$1 == "baseline" { print $2 }' "$dir/startup.txt" | med) $(awk '$1 == "kestrin" { print $2 }' "$dir/startup.txt" | med)"
} > "$tmp/startup.dat"
{
  for g in program wineserver; do
    echo "\"$g\\nCPU s\" $(awk -v g="$g" '$1 == "baseline" && $2 == g { print $3 }' "$dir/idle.txt") $(awk -v g="$g" '$1 == "kestrin" && $2 == g { print $3 }' "$dir/idle.txt")"
  done
  echo "\"program\\nRSS MiB\" $(awk '$1 == "baseline" && $2 == "program" { print $4 }' "$dir/idle.txt") $(awk '$1 == "kestrin" && $2 == "program" { print $4 }' "$dir/idle.txt")"
} > "$tmp/idle.dat"
gnuplot <<EOG
$style
set output "$out/startup-idle.png"
set multiplot layout 1,2 title "Kestrin beside the bare Win32 program (same Wine, same prefix)"
set style data histograms; set style histogram clustered gap 1; set style fill solid 0.8 border -1
set bmargin 4
set yrange [0:*]
set title "Start-up, median"
plot "$tmp/startup.dat" using 2:xtic(1) title "bare program", "" using 3 title "Kestrin"
set title "Idle, 60 s poll, one-second timer"
plot "$tmp/idle.dat" using 2:xtic(1) title "bare program", "" using 3 title "Kestrin"
unset multiplot
EOG
drawn+=(startup-idle.png)
fi

# measured.txt: the drawn charts' lines replaced, the others kept.
stamp=$(printf 'measured %s on %s (%s, %s cores), Wine %s, load average %s at the end' \
  "$(date -u '+%Y-%m-%d %H:%M UTC')" "$(uname -n)" "$(uname -sr)" "$(nproc)" \
  "$(wine --version 2>/dev/null | sed 's/^wine-//')" "$(cut -d' ' -f1-3 /proc/loadavg)")
touch "$out/measured.txt"
for c in "${drawn[@]}"; do
  grep -v "^$c: " "$out/measured.txt" > "$tmp/measured.txt" || true
  echo "$c: $stamp" >> "$tmp/measured.txt"
  sort "$tmp/measured.txt" > "$out/measured.txt"
done
if [ ${#drawn[@]} -gt 0 ]; then echo "drawn: ${drawn[*]}"; fi
