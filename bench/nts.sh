#!/usr/bin/env bash
# Time to the first authenticated reply: KESTNTS.DLL (driven by ntsprobe.exe:
# key exchange, then one protected request) beside the first plain SNTP
# reply of the same probe and beside chronyd -Q with "nts", all against one
# chronyd NTS server in a test namespace with a test CA, RUNS times each;
# with KESTRIN.exe also the program itself, from its start to the first
# set on its status line, plain and with NTS=1.
# The probe's figures are its own (from its start, Wine's start-up not
# included); the program's are app_driver's (from its launch, Wine's
# start-up included); chronyd -Q's are the wall clock of the whole run.
# Prints a table; asserts nothing.
# Usage: nts.sh NTSPROBE.exe KESTNTS.DLL WINEPREFIX [RUNS [KESTRIN.exe]]
set -u
here=$(cd "$(dirname "$0")" && pwd)
NS_PREFIX=kst-bench
source "$here/../scripts/lib/netns.sh"
source "$here/../scripts/lib/ntsservers.sh"
probe=$1 dll=$2 prefix=$3 runs=${4:-5} kestrin=${5:-}

run_begin nts
net_create 26 cli srv
name=nts.kestrin.test
net_hosts cli "${ADDR[srv]} $name"
pki=$RUN_DIR/pki
nts_server cli "$name"
wine_prepare cli "$prefix"
cp "$probe" "$dll" "$RUN_DIR/"
run_probe() {
  nsx cli timeout 60 wine "Z:$RUN_DIR/$(basename "$probe")" "Z:$RUN_DIR/$(basename "$dll")" "$name" 4460 \
    "Z:$pki/ca.pem" 1 0 "$@" 2>/dev/null | tr -d '\r' | sed -n 's/^time: key exchange \([0-9]*\) ms, first reply taken \([0-9]*\) ms$/\1 \2/p'
}
ini=$WINEPREFIX/drive_c/windows/KESTRIN.INI
# kestrin_first EXTRA: ms from the program's launch to its first set shown.
kestrin_first() {
  [ -n "$kestrin" ] || return 0
  printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\n%s' "$name" "$1" > "$ini"
  nsx cli timeout 40 wine "$(dirname "$kestrin")/app_driver.exe" first-reply "$kestrin" 2>/dev/null |
    tr -d '\r' | sed -n 's/^first reply shown after *\([0-9]*\) ms: Last set.*/\1/p'
}
nts_ini=$(nts_ini_roots)
printf '%-4s %14s %18s %22s %18s %18s %16s\n' run "plain first ms" "NTS-KE done ms" "NTS first authentic ms" \
  "chronyd -Q nts ms" "kestrin plain ms" "kestrin NTS ms"
for i in $(seq "$runs"); do
  read -r _ plain_ms <<<"$(run_probe plain)"
  read -r ke_ms nts_ms <<<"$(run_probe)"
  cat > "$RUN_DIR/q.conf" <<EOC
server $name iburst nts maxsamples 1
ntstrustedcerts $pki/ca.pem
nosystemcert
pidfile $RUN_DIR/q.pid
cmdport 0
bindcmdaddress /
EOC
  t0=$(date +%s%N)
  nsx cli timeout 30 "${NO_CLOCK[@]}" "$CHRONYD" -Q -x -u root -f "$RUN_DIR/q.conf" >/dev/null 2>&1 ||
    log "chronyd -Q failed"
  q_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
  k_plain=$(kestrin_first "") k_nts=$(kestrin_first "$nts_ini")
  printf '%-4s %14s %18s %22s %18s %18s %16s\n' "$i" "${plain_ms:-?}" "${ke_ms:-?}" "${nts_ms:-?}" "$q_ms" \
    "${k_plain:-${kestrin:+?}}" "${k_nts:-${kestrin:+?}}"
done
