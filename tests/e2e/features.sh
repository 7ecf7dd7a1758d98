#!/usr/bin/env bash
# The time service's additions against the scripted peer: the extra request
# after a resume and none for a time change without a step of the clock (nor
# for its own set), fallback servers (an unusable entry among them), the time
# floor and where it comes from, NTPVersion=auto, kiss codes (RATE, DENY,
# RSTR and an unknown one, obeyed only in answer to the request in flight),
# and the exchange log (its
# lines, rotation, a relative name, a log held open by another program, and
# one that cannot be written); then the real program with the keys in
# KESTRIN.INI and the broadcasts through its frame.
# Usage: features.sh kestrin_svchost.exe WINEPREFIX [kestrin.exe]
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2 app=${3:-}
broadcast=$(dirname "$program")/kestrin_broadcast.exe

run_begin features
net_create 14 svc peer peerB
wine_prepare svc "$prefix"
drive_c=$RUN_WINEPREFIX/drive_c

# play EVENT: the broadcast a resume or another program's time change makes.
play() { nsx svc wine "$broadcast" "$1" || fail "broadcast $1"; }
# requests LOG: how many requests the peer has seen.
requests() { grep -c '^request ' "$RUN_DIR/$1.log"; }
# request_time LOG N: when the peer saw its Nth request (Unix seconds).
request_time() { grep '^request ' "$RUN_DIR/$1.log" | sed -n "$2s/.* t=//p"; }
# until_elapsed SINCE SECONDS: wait until that long after SINCE (a peer time);
# the 15 s between requests is the protocol's own minimum.
until_elapsed() {
  while awk -v s="$1" -v d="$2" -v n="$(date +%s.%N)" 'BEGIN { exit !(n < s + d) }'; do sleep 0.2; done
}
# expect_requests LOG N WHAT: the peer has seen exactly N requests.
expect_requests() {
  local n; n=$(requests "$1")
  [ "$n" -eq "$2" ] || fail "$3: the peer saw $n requests, want $2"
}
# peer NAME ROLE ARGS...: a scripted peer on ROLE's address, until stop_peer.
declare -A PEERS=()
peer() {
  local name=$1 role=$2; shift 2
  spawn "$name" "$role" "$PYTHON" "$here/peer.py" serve --bind "${ADDR[$role]}" --duration 150 "$@"
  PEERS[$name]=$LAST_PID
  expect_line "$RUN_DIR/$name.log" '^ready' 10 1 "$name start"
}
stop_peer() { kill "${PEERS[$1]}" 2>/dev/null; wait "${PEERS[$1]}" 2>/dev/null; }
last_set='^Last set: .*   Delta: [+-]0\.0[0-9] secs$'

# --- Resume and time changes ------------------------------------------------
peer peer peer
prog_start resync svc "$program" "${ADDR[peer]}"
expect_status resync "$last_set" 20 1 "first exchange"
# The system announces our own set to every window: no request for it.
play timechange
expect_line "$RUN_DIR/resync.log" '^EVENT timechange' 10 1 "time change after our own set delivered"
# Another program's notice, well past our own set, without a step of the
# clock (a small correction by another client): no request either, or two
# programs that set the clock answer each other's sets for as long as both
# run. A real step starts one (the service's Wine tests, where the clock is a
# seam).
until_elapsed "$(request_time peer 1)" 7
play timechange
expect_line "$RUN_DIR/resync.log" '^EVENT timechange' 10 2 "time change without a step delivered"
until_elapsed "$(request_time peer 1)" 17
expect_requests peer 1 "our own set and a change without a step, even 15 s on"

t=$(date +%s.%N)
play resume
expect_line "$RUN_DIR/peer.log" '^request ' 10 2 "request after resume"
awk -v a="$t" -v b="$(request_time peer 2)" 'BEGIN { exit !(b - a <= 5) }' \
  || fail "resume: request $(request_time peer 2) not within 5 s of $t"
expect_line "$RUN_DIR/resync.log" '^EVENT power 7' 10 1 "both resume events delivered"
until_elapsed "$(request_time peer 2)" 15
expect_requests peer 2 "one request for one resume"
prog_stop resync
stop_peer peer

# --- Fallback servers -------------------------------------------------------
# A leaves its first three requests unanswered, B answers only its first.
# Fast ticks: a request every 1.5 s.
peer peerA peer --skip 3
peer peerB peerB --answer 1
prog_start fallback svc "$program" "${ADDR[peer]} ${ADDR[peerB]}" -f 4
sent_to() { printf '^NTP Request sent to %s - ' "${1//./\\.}"; }
expect_status fallback "$(sent_to "${ADDR[peerB]}")" 30 1 "the fourth request names B"
expect_line "$RUN_DIR/peerB.log" '^reply ' 10 1 "B answers the fourth request"
expect_requests peerA 3 "three requests to A before B"
expect_status fallback "$last_set" 10 1 "B's reply taken"
expect_status fallback "$(sent_to "${ADDR[peer]}")" 30 4 "back to A after three unanswered at B"
expect_line "$RUN_DIR/peerA.log" '^reply ' 10 1 "A answers again"
expect_status fallback "$last_set" 10 2 "A's reply taken"
expect_requests peerB 4 "B asked four times"
prog_stop fallback
stop_peer peerA
stop_peer peerB

# An entry that cannot be used (a dotted address that does not parse) counts
# as that entry's failure: no box, and the fourth poll goes on past it, back
# to A. It used to stop polling for good, after a box in mid-poll.
peer peerU peer --skip 3
prog_start unusable svc "$program" "${ADDR[peer]} 300.1.1.1" -f 4
expect_line "$RUN_DIR/peerU.log" '^reply ' 30 1 "A answers its fourth request, past the unusable entry"
expect_status unusable "$last_set" 10 1 "A's reply taken"
expect_line "$RUN_DIR/peerU.log" '^request ' 30 6 "polling goes on"
prog_stop unusable
stop_peer peerU
grep '^BOX ' "$RUN_DIR/unusable.log" && fail "a box while polling a list"
status_lines unusable | grep -E '^NTP Request sent' | grep -v "$(sent_to "${ADDR[peer]}")" \
  && fail "a request status that names another server"

# --- NTPVersion=auto against a server that ignores version 1 ----------------
peer peerV peerB --drop-version 1
prog_start version svc "$program" "${ADDR[peerB]}" -V auto -f 4
expect_line "$RUN_DIR/peerV.log" '^reply ' 30 1 "a reply to version 4"
expect_line "$RUN_DIR/peerV.log" '^request .* version=4 ' 30 4 "version 4 kept"
prog_stop version
stop_peer peerV
grep '^request ' "$RUN_DIR/peerV.log" | awk '{ print $4 }' | uniq -c | tr -s ' ' >"$RUN_DIR/versions"
[ "$(awk '{ print $2 }' "$RUN_DIR/versions" | tr '\n' ' ')" = "version=1 version=4 " ] \
  && [ "$(awk 'NR == 1 { print $1 }' "$RUN_DIR/versions")" = 3 ] \
  || fail "versions sent: $(tr '\n' ';' <"$RUN_DIR/versions"), want 3 x 1 then 4 only"

# --- Kiss codes -------------------------------------------------------------
# intervals NAME: the poll intervals the host reported, in order, each once.
intervals() { grep '^STATE ' "$RUN_DIR/$1.log" | sed -n 's/.* interval=\([0-9]*\) .*/\1/p' | uniq | tr '\n' ' '; }
# kiss ROLE ARGS...: a stratum-0 message with leap 3 from ROLE's address.
kiss() {
  local role=$1; shift
  nsx "$role" "$PYTHON" "$here/peer.py" push --from "${ADDR[$role]}" --any-port --to "${ADDR[svc]}" \
    --stratum 0 --leap 3 "$@" >>"$RUN_DIR/push.log" 2>&1 || fail "push $*"
}
rejected='^NTP Reply rejected$'

# RATE to every request: the interval doubles up to 16 times the base, and
# the peer sees each request wait for it (100 ticks a second).
peer peerR peer --kiss RATE
mkdir -p "$drive_c/kestrin"
prog_start rate svc "$program" "${ADDR[peer]}" -f 10 -E 'C:\kestrin\kiss.csv'
expect_line "$RUN_DIR/peerR.log" '^request ' 90 6 "six requests under RATE"
expect_status rate '^Server asked for fewer requests \(RATE\)$' 10 5 "RATE shown"
prog_stop rate
stop_peer peerR
# The host may report its state first after the first reply.
got=$(intervals rate)
[ "${got#60 }" = "120 240 480 960 " ] || fail "intervals under RATE: $got"
# The gaps between requests: each twice the one before, then the ceiling.
for i in 1 2 3 4 5 6; do request_time peerR "$i"; done | awk '
  NR > 1 { gap[NR - 1] = $1 - last } { last = $1 }
  END { for (i = 2; i <= 5; i++) { r = gap[i] / gap[i - 1]; want = i < 5 ? 2 : 1
          if (r < want * 0.7 || r > want * 1.4) { printf "gap %d/%d: %.2f, want %d\n", i, i - 1, r, want; bad = 1 } }
        exit bad }' >&2 || fail "request gaps under RATE do not double"
expect_line "$drive_c/kestrin/kiss.csv" ',kiss RATE,' 5 5 "the log names the code"

# Forged kiss codes change nothing: unmatched from the server's address, or
# with the right originate from another host, each is one more rejected
# reply; the request stays in flight for the server's own DENY.
peer peerK peer --answer 1
prog_start forged svc "$program" "${ADDR[peer]}" -p 3600
expect_status forged "$last_set" 20 1 "first exchange"
send_now forged svc
expect_line "$RUN_DIR/peerK.log" '^request ' 10 2 "a request left in flight"
tx=$(last_tx "$RUN_DIR/peerK.log") xport=$(last_port "$RUN_DIR/peerK.log")
before=$(intervals forged)
n=0
for code in RATE DENY RSTR XYZZ; do
  kiss peer --to-port "$xport" --refid "$code"
  kiss peerB --to-port "$xport" --refid "$code" --originate "$tx"
  n=$((n + 2))
  expect_status forged "$rejected" 10 "$n" "forged $code rejected"
done
[ "$(intervals forged)" = "$before" ] || fail "forged codes moved the interval: $(intervals forged), was $before"
kiss peer --to-port "$xport" --refid DENY --originate "$tx"
expect_status forged '^Server refused access \(DENY\)$' 10 1 "the server's own DENY, after the forgeries"
expect_stats forged 2 10 0 9
status_lines forged | grep -E '^Server' | grep -qv 'DENY' && fail "a forged code was shown"
prog_stop forged
stop_peer peerK

# DENY from the one server: no more requests until Set Time.
peer peerD peer --kiss DENY
prog_start deny svc "$program" "${ADDR[peer]}" -f 10
expect_status deny '^Server refused access \(DENY\)$' 20 1 "DENY shown"
until_elapsed "$(request_time peerD 1)" 6
expect_requests peerD 1 "ten intervals after DENY"
send_now deny svc
expect_line "$RUN_DIR/peerD.log" '^request ' 10 2 "Set Time asks again"
expect_status deny '^Server refused access \(DENY\)$' 10 2 "DENY again"
prog_stop deny
stop_peer peerD

# RSTR from the first of a list: the next one is asked, the first no more.
peer peerS peer --kiss RSTR
peer peerT peerB
prog_start rstr svc "$program" "${ADDR[peer]} ${ADDR[peerB]}" -f 10
expect_status rstr '^Server refused access \(RSTR\)$' 20 1 "RSTR shown"
expect_status rstr "$(sent_to "${ADDR[peerB]}")" 10 1 "on to B"
expect_line "$RUN_DIR/peerT.log" '^reply ' 30 4 "B polled"
expect_requests peerS 1 "A after its RSTR"
prog_stop rstr
stop_peer peerS
stop_peer peerT

# An unknown code counts as no answer: after three, the next server.
peer peerX peer --kiss XYZZ
peer peerY peerB --answer 1
prog_start unknown svc "$program" "${ADDR[peer]} ${ADDR[peerB]}" -f 10
expect_status unknown "$(sent_to "${ADDR[peerB]}")" 30 1 "on to B after three unknown codes"
expect_requests peerX 3 "A asked three times"
expect_status unknown "$rejected" 5 3 "each unknown code rejected"
got=$(grep "^STATE .* server=${ADDR[peer]} " "$RUN_DIR/unknown.log" | sed -n 's/.* interval=\([0-9]*\) .*/\1/p' | uniq)
[ "$got" = 60 ] || fail "an unknown code moved the interval: $got"
prog_stop unknown
stop_peer peerX
stop_peer peerY

# --- Time floor and exchange log --------------------------------------------
# A log just short of 1 MB: the first line moves it to .old.
mkdir -p "$drive_c/kestrin"
csv=$drive_c/kestrin/exchanges.csv
head -c $((1024 * 1024 - 40)) /dev/zero | tr '\0' 'x' >"$csv"
peer peerD peerB
prog_start floor svc "$program" "${ADDR[peerB]}" -i -E 'C:\kestrin\exchanges.csv'
expect_status floor "$last_set" 20 1 "exchange with the log on"
floor=$(sed -n 's/^FLOOR \([0-9]*\).*/\1/p' "$RUN_DIR/floor.log" | tr -d '\r')
[ -n "$floor" ] || fail "no FLOOR line"
# The floor is noon before the source's day (SOURCE_DATE_EPOCH, else the
# last commit), never from the build machine's clock: a tree configured while
# that clock reads a year ahead has the same day.
src=$(cd "$here/../.." && pwd)
day=$(( ${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct)} / 86400 * 86400 ))
[ "$floor" -eq $((day - 43200)) ] || fail "floor $floor, want $((day - 43200)) from the source's date"
command -v faketime >/dev/null || fail "no faketime: run scripts/setup.sh"
faketime -f '+365d' cmake -S "$src" -B "$RUN_DIR/ahead" -G Ninja >"$RUN_DIR/ahead.log" 2>&1 \
  || { tail -n 20 "$RUN_DIR/ahead.log" >&2; fail "configure under a clock a year ahead"; }
ahead=$(sed -n 's/.*UnixSeconds = \([0-9]*\);.*/\1/p' "$RUN_DIR/ahead"/generated/*.h)
[ "$ahead" = "$day" ] || fail "a tree configured a year ahead has day '$ahead', want $day"
# A reply dated a day before the build date, with -i (any offset allowed).
nsx peerB "$PYTHON" "$here/peer.py" push --from "${ADDR[peerB]}" --any-port --to "${ADDR[svc]}" \
  --offset "$(awk -v f="$floor" -v n="$(date +%s.%N)" 'BEGIN { printf "%.3f", f - 86400 - n }')" \
  >>"$RUN_DIR/push.log" 2>&1 || fail "push"
expect_status floor '^NTP Reply rejected$' 10 1 "reply before the floor rejected with -i"
expect_stats floor 1 2 0 1
prog_stop floor
stop_peer peerD

[ "$(tr -d 'x' <"$csv.old" | wc -c)" -eq 0 ] && [ "$(wc -c <"$csv.old")" -eq $((1024 * 1024 - 40)) ] \
  || fail "rotation: $csv.old is not the earlier log"
tr -d '\r' <"$csv" >"$RUN_DIR/exchanges"
[ "$(sed -n 1p "$RUN_DIR/exchanges")" = "local time,address,t1,t2,t3,t4,offset s,delay s,verdict,action" ] \
  && [ "$(wc -l <"$RUN_DIR/exchanges")" -eq 3 ] || { cat "$RUN_DIR/exchanges" >&2; fail "log: header and two lines"; }
# Line 2: the exchange, its T2 and T3 as the peer recorded them; its T1 is
# the time the request went, kept by the program (the request itself
# carried random bits, which the peer copied back as its t1).
read -r t1 t2 t3 < <(sed -n 's/^reply .* t1=\([^ ]*\) t2=\([^ ]*\) t3=\([^ ]*\).*/\1 \2 \3/p' \
  "$RUN_DIR/peerD.log" | tail -n1)
IFS=, read -r _ addr l1 l2 l3 l4 offset delay verdict action < <(sed -n 2p "$RUN_DIR/exchanges")
[ "$addr $l2 $l3 $verdict $action" = "${ADDR[peerB]} $t2 $t3 accepted set" ] \
  || fail "log line: '$addr $l2 $l3 $verdict $action', peer: '${ADDR[peerB]} $t2 $t3'"
awk -v t1="$l1" -v t2="$l2" -v t3="$l3" -v t4="$l4" -v o="$offset" -v d="$delay" \
  'BEGIN { exit !(t2 >= t1 - 0.05 && t2 - t1 < 1 && t4 >= t3 - 0.05 && t4 - t3 < 1 && o * o < 0.01 && d >= 0 && d < 1) }' \
  || fail "log line: T1 $l1, T4 $l4, offset $offset, delay $delay"
sed -n 3p "$RUN_DIR/exchanges" | grep -qE ",before the floor,$" \
  || fail "log line 3: $(sed -n 3p "$RUN_DIR/exchanges")"

# --- A log that cannot be written -------------------------------------------
peer peerC peer
prog_start nolog svc "$program" "${ADDR[peer]}" -f 10 -E 'C:\no-such-folder\exchanges.csv'
expect_status nolog "^Last set: .* secs - log failed$" 20 1 "the failed log noted"
expect_status nolog "$last_set" 20 2 "later exchanges as without a log"
prog_stop nolog
[ "$(status_lines nolog | grep -c 'log failed')" -eq 1 ] || fail "the failed log noted more than once"
status_lines nolog | grep -vE "^NTP Request sent - |$last_set| - log failed$|^ $" \
  && fail "other status texts with a failed log"

# --- A relative log held open by another program ----------------------------
# A relative LogFile lies in the Windows folder, where KESTRIN.INI is, not in
# the current directory. Held open, the full log cannot move to .old: it
# takes no more lines (noted once) rather than grow, and the previous .old
# stays; let go, it moves on at the next line.
held=$drive_c/windows/held.csv
head -c $((1024 * 1024 - 40)) /dev/zero | tr '\0' 'x' >"$held"
printf older >"$held.old"
wine_spawn holder svc "$broadcast" hold 'C:\windows\held.csv' 120
holder=$LAST_PID
expect_line "$RUN_DIR/holder.log" '^held' 20 1 "the log held open"
peer peerH peer
prog_start held svc "$program" "${ADDR[peer]}" -f 10 -E held.csv
expect_status held "^Last set: .* secs - log failed$" 20 1 "the held log noted"
expect_status held "$last_set" 20 3 "exchanges go on with the log held"
[ "$(wc -c <"$held")" -eq $((1024 * 1024 - 40)) ] || fail "the held log grew to $(wc -c <"$held") bytes"
[ "$(cat "$held.old")" = older ] || fail "the previous .old is lost while the log is held"
kill "$holder"; wait "$holder" 2>/dev/null
expect_line "$held" ',accepted,set' 20 1 "the log moves on once let go"
prog_stop held
stop_peer peerH
[ "$(tr -d 'x' <"$held.old" | wc -c)" -eq 0 ] && [ "$(wc -c <"$held.old")" -eq $((1024 * 1024 - 40)) ] \
  || fail "the held log did not become .old once let go"
[ "$(status_lines held | grep -c 'log failed')" -eq 1 ] || fail "the held log noted more than once"

# --- The real program: NTPVersion and LogFile from KESTRIN.INI -------------
if [ -n "$app" ]; then
  peer peerF peerB --drop-version 1
  ini=$drive_c/windows/KESTRIN.INI
  printf '[KESTRIN]\r\nNTPServer=%s\r\nPollInterval=60\r\nMaxDelta=100\r\nNTPVersion=4\r\nLogFile=C:\\kestrin\\app.csv\r\n' \
    "${ADDR[peerB]}" >"$ini"
  wine_spawn app svc "$app"
  app_pid=$LAST_PID
  expect_line "$RUN_DIR/peerF.log" '^reply ' 30 1 "the program's version 4 request answered"
  expect_line "$drive_c/kestrin/app.csv" ",accepted,set" 10 1 "the program's exchange log"
  until_elapsed "$(request_time peerF 1)" 15
  t=$(date +%s.%N)
  play resume
  expect_line "$RUN_DIR/peerF.log" '^request ' 10 2 "the program's request after resume"
  awk -v a="$t" -v b="$(request_time peerF 2)" 'BEGIN { exit !(b - a <= 5) }' \
    || fail "the program's resume request not within 5 s"
  nsx svc wine "$(dirname "$app")/app_driver.exe" escape || fail "escape"
  deadline=$((SECONDS + 15))
  while kill -0 "$app_pid" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the program did not end on Escape"
    sleep 0.2
  done
  grep -q '^NTPVersion=4' "$ini" && grep -q '^LogFile=C:\\kestrin\\app.csv' "$ini" \
    || { tr -d '\r' <"$ini" >&2; fail "the INI lost its keys"; }
  stop_peer peerF
fi

log "PASS"
