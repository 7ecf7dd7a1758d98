#!/usr/bin/env bash
# Forged replies: a host beside the time server, which knows the server's
# address and the program's port, floods the program for a minute with
# datagrams that carry the server's address and a time 1000 s ahead:
# unicast replies whose originate time is guessed from the current time to
# the millisecond, and broadcasts. chronyd answers the program's real
# requests. No forged reply may be taken: the exchange log holds no accepted
# line with the forged time, the status line never shows it, and the
# Rejected count grows. Set Time pressed during the flood is answered by
# chronyd, and its answer taken unless it waited behind the forged ones
# (then it is refused for its delay); pressed once the flood has been read,
# its answer is taken. Against the test host, Set Time is its sendnow;
# against the program, the button.
# Usage: forgery.sh PROGRAM.exe WINEPREFIX [SECONDS] [RATE]
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2 seconds=${3:-60} rate=${4:-2500}
driver=$(dirname "$program")/app_driver.exe

run_begin forgery
net_create 15 svc srv forger
chrony_server chrony srv
wine_prepare svc "$prefix"
# The exchange log, in the work folder, so a failed run keeps it.
csv=$RUN_DIR/exchanges.csv
# chronyd's answers: the delta of the host's own clock.
near='^Last set: .*   Delta: [+-]0\.[0-9][0-9] secs$'
# What an accepted reply shows under Wine: a set, a refused set, a delta too
# large to set.
outcome='^(Last set: |Set Time error |Clock NOT Set: )'
PROG_LOG=$csv prog_start forged svc "$program" "${ADDR[srv]}"
expect_status forged "$near" 30 1 "the first exchange with chronyd"

# rejected_count: the Rejected count: the host's latest, or the one the
# program's statistics dialog shows (opened and closed again).
rejected_count() {
  local counts
  if [ "$(basename "$program")" != kestrin.exe ]; then
    set -- $(prog_stats forged) && printf '%s\n' "$4" && return
    fail "no counters"
  fi
  counts=$(nsx svc wine "$driver" stats | tr -d '\r') || fail "no statistics dialog"
  nsx svc wine "$driver" close stats || fail "the statistics dialog does not close"
  set -- $counts
  [ $# -eq 4 ] || fail "statistics: '$counts'"
  printf '%s\n' "$4"
}
# log_lines: the exchange log as it stands, its current file and the one
# before (past 1 MB it moves to .old), as "address|t1|t3|t4|verdict".
log_lines() {
  cat "$csv.old" "$csv" 2>/dev/null | tr -d '\r' |
    awk -F, 'NF >= 10 { print $2 "|" $3 "|" $5 "|" $6 "|" $9 }'
}
# Accepted lines from the server for requests sent from NTP time SINCE on
# whose T3 lies within 100 s of T4 (chronyd's), and accepted lines 500 s or
# more ahead (the forged time).
genuine() {
  log_lines | awk -F'|' -v a="${ADDR[srv]}" -v since="$1" \
    '$1 == a && $5 == "accepted" && $2 >= since && ($3 - $4) ^ 2 < 10000' | wc -l
}
forged() { log_lines | awk -F'|' '$5 == "accepted" && $3 - $4 >= 500' | wc -l; }

before=$(rejected_count)
log "forging ${rate}/s for ${seconds}s from beside the server"
spawn forger forger "$PYTHON" "$here/forger.py" --spoof "${ADDR[srv]}" --to "${ADDR[svc]}" \
  --bcast "$NET_BCAST" --rate "$rate" --duration "$seconds"
expect_line "$RUN_DIR/forger.log" '^forger rate' 10 1 "forger start"
# Well into the flood: Set Time. A program that keeps up takes chronyd's
# answer; one that falls behind refuses it for its delay rather than set the
# clock by a destination time as late as the wait.
expect_status forged '^NTP Reply rejected$' 30 1000 "forged replies rejected"
send_now forged svc

expect_line "$RUN_DIR/forger.log" '^forger done' $((seconds + 30)) 1 "forger end"
log "$(tail -n1 "$RUN_DIR/forger.log")"
prog_alive forged || fail "the program died under the forged replies"
# The host's counters come with its timer, which may wait until the flood is
# read to its end.
deadline=$((SECONDS + 60))
while after=$(rejected_count); [ "$after" -le "$before" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the Rejected count does not grow: $before, $after"
  sleep 0.5
done
log "Rejected: $before before the flood, $after after it"

# The flood read to its end: Set Time, and chronyd's answer taken.
for i in $(seq 600); do
  [ "$(nsx svc ss -uanH 'sport = :123' | awk '{ s += $2 } END { print s + 0 }')" = 0 ] && break
  sleep 0.1
done
shown=$(status_lines forged | grep -cE "$outcome")
pressed=$(awk -v t="$(date +%s.%N)" 'BEGIN { printf "%.3f", t + 2208988800 - 1 }')
send_now forged svc
expect_status forged "$outcome" 40 $((shown + 1)) "Set Time after the flood answered"
deadline=$((SECONDS + 10))
until [ "$(genuine "$pressed")" -ge 1 ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no accepted line from chronyd for Set Time in the exchange log"
  sleep 0.1
done

# Nothing forged taken: each request is answered once at most, so no more
# outcomes than requests; none says the clock is too far off; and no
# accepted line of the exchange log has the forged time.
requests=$(status_lines forged | grep -c '^NTP Request sent')
outcomes=$(status_lines forged | grep -cE "$outcome")
log "requests: $requests, accepted replies shown: $outcomes;" \
  "$(status_lines forged | grep -E "$outcome" | sed 's/Last set: .*   /Last set: ... /' | sort | uniq -c | tr -s ' ' | tr '\n' ';')"
[ "$outcomes" -le "$requests" ] || fail "forged replies were taken: $outcomes outcomes for $requests requests"
! status_lines forged | grep -q '^Clock NOT Set' || fail "a delta too large to set was shown"
[ "$(forged)" -eq 0 ] || fail "$(forged) accepted lines with the forged time in the exchange log"
reasons=$(log_lines | awk -F'|' -v a="${ADDR[srv]}" '$1 == a { print $5 }' | sort | uniq -c | tr -s ' ' | tr '\n' ';')
log "exchange log kept, lines from the server's address by verdict: $reasons"
case "$reasons" in *broadcast*) ;; *) fail "no broadcast named in the log" ;; esac
case "$reasons" in *unmatched*|*"no request"*) ;; *) fail "no unmatched reply named in the log" ;; esac
prog_stop forged
log "PASS"
