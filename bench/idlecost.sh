# What a program's Wine processes use while it idles: snapshots of CPU ticks
# and resident memory per process, and the difference between two of them
# per group (the program, its wineserver, Wine's helpers, a peer). Source
# after scripts/lib/netns.sh.

# idle_proc PID GROUP: "pid group cpu_ticks rss_kb" (stat field 14 utime,
# 15 stime; field 2 may hold blanks).
idle_proc() {
  awk -v pid="$1" -v g="$2" '
    FNR == NR { sub(/^.*\) /, ""); split($0, f, " "); cpu = f[12] + f[13]; next }
    /^VmRSS:/ { rss = $2 }
    END { print pid, g, cpu, rss + 0 }' "/proc/$1/stat" "/proc/$1/status" 2>/dev/null
}

# idle_snapshot ROLE PATTERN: idle_proc of every process in ROLE's namespace,
# the program being the one whose command line holds PATTERN.
idle_snapshot() {
  local pid cmd group
  for pid in $(ns_pids "$1"); do
    cmd=$(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null) || continue
    case $cmd in
      *"$2"*) group=program ;;
      *wineserver*) group=wineserver ;;
      *) group=wine-helpers ;;
    esac
    idle_proc "$pid" "$group"
  done
}

# idle_results NAME BEFORE AFTER: "NAME group cpu_s rss_mib" for each group
# between the snapshots BEFORE and AFTER.
idle_results() {
  awk -v p="$1" -v tick="$(getconf CLK_TCK)" '
    FNR == NR { before[$1] = $3; next }
    { cpu[$2] += ($3 - ($1 in before ? before[$1] : 0)) / tick; rss[$2] += $4 / 1024 }
    END { for (g in cpu) printf "%s %s %.2f %.1f\n", p, g, cpu[g], rss[g] }' "$2" "$3"
}

# idle_table BEFORE AFTER: the same as a table, with the Wine processes'
# total (the peer's not in it).
idle_table() {
  printf '%-16s %6s %12s %12s\n' group procs "cpu seconds" "rss MiB"
  awk -v tick="$(getconf CLK_TCK)" '
    FNR == NR { before[$1] = $3; next }
    { g = $2; n[g]++; cpu[g] += ($3 - ($1 in before ? before[$1] : 0)) / tick; rss[g] += $4 / 1024 }
    END {
      split("program wineserver wine-helpers python-peer", order, " ")
      for (i = 1; i <= 4; i++) { g = order[i]; if (!(g in n)) continue
        printf "%-16s %6d %12.2f %12.1f\n", g, n[g], cpu[g], rss[g]
        if (i <= 3) { tn += n[g]; tc += cpu[g]; tr += rss[g] } }
      printf "%-16s %6d %12.2f %12.1f\n", "wine total", tn, tc, tr }' "$1" "$2"
}
