#!/usr/bin/env bash
# Forged replies: a host beside the time server, which knows the server's
# address and the program's port, floods the program for a minute with
# datagrams that carry the server's address and a time 1000 s ahead:
# unicast replies whose originate time is guessed from the current time to
# the millisecond, and broadcasts. chronyd answers the program's real
# requests. No forged reply may be taken: the exchange log holds no accepted
# line with the forged time, the status line never shows it, Set Time
# pressed during the flood is answered by chronyd, and the Rejected count
# grows.
# Usage: forgery.sh kestrin.exe WINEPREFIX [SECONDS] [RATE]
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2 seconds=${3:-60} rate=${4:-2500}
driver=$(dirname "$program")/app_driver.exe

e2e_setup forgery
net_create 15 svc srv forger
chrony_server chrony srv
wine_prepare svc "$prefix"
csv=$E2E_WINE_PREFIX/drive_c/kestrin/exchanges.csv
mkdir -p "$(dirname "$csv")"
# The exchange log, with every line in it seen, rotation or not.
PROG_INI_EXTRA=$'LogFile=C:\\kestrin\\exchanges.csv\r\n'
# chronyd's answers: the delta of the host's own clock, within a second even
# when the reply waits behind the flood.
near='^Last set: .*   Delta: [+-]0\.[0-9][0-9] secs$'
prog_start forged svc "$program" "${ADDR[srv]}"
expect_status forged "$near" 30 1 "the first exchange with chronyd"

# stats: the Rejected count of the statistics dialog, opened and closed.
rejected_count() {
  local counts
  counts=$(nsx svc wine "$driver" stats | tr -d '\r') || fail "no statistics dialog"
  nsx svc wine "$driver" close stats || fail "the statistics dialog does not close"
  set -- $counts
  [ $# -eq 4 ] || fail "statistics: '$counts'"
  printf '%s\n' "$4"
}
# accepted_from_server: accepted lines of the exchange log from the server
# with an offset below a second (its current file and the one before).
accepted_from_server() {
  cat "$csv.old" "$csv" 2>/dev/null | tr -d '\r' |
    awk -F, -v a="${ADDR[srv]}" '$2 == a && $9 == "accepted" && $7 * $7 < 1' | wc -l
}

log "forging ${rate}/s for ${seconds}s from beside the server"
spawn forger forger "$E2E_PY" "$here/forger.py" --spoof "${ADDR[srv]}" --to "${ADDR[svc]}" \
  --bcast "$E2E_BCAST" --rate "$rate" --duration "$seconds"
expect_line "$E2E_DIR/forger.log" '^forger rate' 10 1 "forger start"
# Well into the flood: Set Time, and chronyd's answer taken.
expect_status forged '^NTP Reply rejected$' 30 1000 "forged replies rejected"
sets=$(status_lines forged | grep -cE "$near")
send_now forged svc
expect_status forged "$near" 30 $((sets + 1)) "Set Time during the flood answered by chronyd"
deadline=$((SECONDS + 10))
until [ "$(accepted_from_server)" -ge 1 ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no accepted line from chronyd in the exchange log"
  sleep 0.1
done
first=$(rejected_count)
expect_status forged '^NTP Reply rejected$' 10 $(( $(status_lines forged | grep -c '^NTP Reply rejected$') + 100 )) \
  "forged replies still coming"
second=$(rejected_count)
log "Rejected after Set Time: $first, then $second"
[ "$first" -gt 0 ] && [ "$second" -gt "$first" ] || fail "the Rejected count does not grow: $first, $second"

expect_line "$E2E_DIR/forger.log" '^forger done' $((seconds + 30)) 1 "forger end"
log "$(tail -n1 "$E2E_DIR/forger.log")"
prog_alive forged || fail "the program died under the forged replies"

# Nothing forged taken: the status line never showed a time 1000 s off (a
# set that Wine refuses, a delta of a second or more), and the log has no
# accepted line with an offset of a second or more.
shown=$(status_lines forged | grep -E '^(Set Time error|Clock NOT Set)|Delta: [+-][1-9]' | sort | uniq -c)
[ -z "$shown" ] || fail "forged replies were taken; status texts: $shown"
taken=$(cat "$csv.old" "$csv" 2>/dev/null | tr -d '\r' | awk -F, '$9 == "accepted" && $7 * $7 >= 1' | wc -l)
[ "$taken" -eq 0 ] || fail "$taken accepted lines with the forged time in the exchange log"
reasons=$(cat "$csv.old" "$csv" 2>/dev/null | tr -d '\r' | awk -F, -v a="${ADDR[srv]}" '$2 == a { print $9 }' |
  sort | uniq -c | tr -s ' ' | tr '\n' ';')
log "exchange log, lines from the server's address by verdict: $reasons"
case "$reasons" in *broadcast*) ;; *) fail "no broadcast named in the log" ;; esac
case "$reasons" in *unmatched*|*"no request"*) ;; *) fail "no unmatched reply named in the log" ;; esac
log "status texts: $(status_lines forged | sort | uniq -c | sort -rn | head -n 4 | tr -s ' ' | tr '\n' ';')"
prog_stop forged
log "PASS"
