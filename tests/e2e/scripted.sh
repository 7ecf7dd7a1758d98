#!/usr/bin/env bash
# The time service against the scripted peer: the request on the wire (from
# a port of its own, a new one each time), and the replies no real server
# sends (leap 3, stratum 0, zero transmit seconds, wrong sender, broadcasts,
# 2 s and 7200 s ahead, short datagrams, replies to no request or to an
# earlier one, the right reply sent to port 123), with and without the
# switches that relax the checks; a host name at start asks once.
# Usage: scripted.sh PROGRAM.exe WINEPREFIX
# Not -e: each check ends the run through fail() saying what went wrong,
# and many commands here fail on purpose (the case under test).
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2

run_begin scripted
net_create 12 svc peer other
net_hosts svc "${ADDR[peer]} kacc-peer.test"
alias_addr=10.213.12.20 ahead2=10.213.12.30 ahead7200=10.213.12.31
for a in "$alias_addr" "$ahead2" "$ahead7200"; do net_alias peer "$a"; done
wine_prepare svc "$prefix"
spawn peer2 peer "$PYTHON" "$here/peer.py" serve --bind "$ahead2" --offset 2 --duration 170
spawn peer7200 peer "$PYTHON" "$here/peer.py" serve --bind "$ahead7200" --offset 7200 --duration 170
for p in peer2 peer7200; do expect_line "$RUN_DIR/$p.log" '^ready' 10 1 "$p start"; done

# peer_up NAME: the scripted peer on the server's address, answering only
# the first request: later ones stay in flight for the crafted replies.
declare -A PEERS=()
peer_up() {
  [ -n "${PEERS[peer]:-}" ] && { kill "${PEERS[peer]}"; wait "${PEERS[peer]}" 2>/dev/null; }
  spawn "$1" peer "$PYTHON" "$here/peer.py" serve --bind "${ADDR[peer]}" --answer 1 --duration 170
  PEERS[peer]=$LAST_PID PEER_LOG=$RUN_DIR/$1.log
  expect_line "$PEER_LOG" '^ready' 10 1 "$1 start"
}
# push ROLE ARGS...: one crafted message to the service, port 123 (where
# broadcasts and clients come).
push() {
  local role=$1; shift
  nsx "$role" "$PYTHON" "$here/peer.py" push --to "${ADDR[svc]}" "$@" >>"$RUN_DIR/push.log" 2>&1 \
    || fail "push $*"
}
# reply ROLE ARGS...: the same to the port the latest request came from,
# received when that request arrived.
reply() {
  local role=$1; shift
  push "$role" --to-port "$xport" --received "$(last_rx "$PEER_LOG")" "$@"
}
# ask NAME: a new request, left unanswered; its transmit time lands in $tx,
# its source port in $xport.
ask() {
  local n=$(( $(grep -c '^request ' "$PEER_LOG") + 1 ))
  send_now "$1" svc
  expect_line "$PEER_LOG" '^request ' 10 "$n" "request $n of $1"
  tx=$(last_tx "$PEER_LOG") xport=$(last_port "$PEER_LOG")
}
from_peer=(--from "${ADDR[peer]}" --any-port)
last_set='^Last set: .*   Delta: [+-]0\.0[0-9] secs$'
rejected='^NTP Reply rejected$'
# The test host polls once an hour, so that only the requests asked for go
# out; the program restarts its count at each Set Time.
quiet=()
[ "$(basename "$program")" = kestrin.exe ] || quiet=(-p 3600)

# --- Default switches -------------------------------------------------------
peer_up peer
prog_start plain svc "$program" "${ADDR[peer]}" "${quiet[@]}"
expect_line "$PEER_LOG" \
  "^request from=${ADDR[svc]//./\\.}:[0-9]+ len=48 version=1 mode=3 " 20 1 "version-1 request"
xport=$(last_port "$PEER_LOG")
[ "$xport" -ge 49152 ] || fail "the request came from port $xport, not a dynamic port of its own"
expect_status plain "$last_set" 20 1 "reply from the scripted peer"
reply peer "${from_peer[@]}" --originate "$(last_tx "$PEER_LOG")"
expect_status plain "$rejected" 10 1 "a second copy of the taken reply rejected"

# Each case: what is sent, then the status it must produce (running count).
# Replies carry the transmit time of the request in flight unless the case
# is about that.
ask plain
reply peer "${from_peer[@]}" --originate "$tx" --leap 3
expect_status plain "$rejected" 10 2 "leap indicator 3 rejected"
reply peer "${from_peer[@]}" --originate "$tx" --stratum 0
expect_status plain "$rejected" 10 3 "stratum 0 rejected"
reply peer "${from_peer[@]}" --originate "$tx" --zero-tx
expect_status plain "$rejected" 10 4 "zero transmit seconds rejected"
reply peer --from "$alias_addr" --any-port --originate "$tx"
expect_status plain "$rejected" 10 5 "reply from a second address of the server's host rejected"
reply other --from "${ADDR[other]}" --originate "$tx"
expect_status plain "$rejected" 10 6 "reply from another host rejected"
reply peer "${from_peer[@]}" --originate "$tx" --length 20
expect_status plain "$rejected" 10 7 "20-byte reply rejected"
push peer --from "${ADDR[peer]}" --any-port --broadcast --mode 5 --to-broadcast "$NET_BCAST"
expect_status plain "$rejected" 10 8 "broadcast from the server rejected without -b"
push other --from "${ADDR[other]}" --broadcast --mode 5 --to-broadcast "$NET_BCAST"
expect_status plain "$rejected" 10 9 "broadcast from another host rejected"
reply peer "${from_peer[@]}"
expect_status plain "$rejected" 10 10 "a reply that answers no request of ours rejected"
reply peer "${from_peer[@]}" --originate "$tx" --leap 1
expect_status plain "$last_set" 10 2 "leap indicator 1 accepted, from another port"
ask plain
reply peer "${from_peer[@]}" --originate "$tx" --offset 2
expect_status plain '^Set Time error 1314$' 10 1 "2 s ahead: Wine refuses the set"
# Whole seconds are cut, not rounded: a server exactly 7200 s ahead may be
# measured a hair under and shown as +7199.
ahead7200_text='^Clock NOT Set:   Delta = \+(7199|7200) seconds \(Check TZ\)$'
ask plain
reply peer "${from_peer[@]}" --originate "$tx" --offset 7200
expect_status plain "$ahead7200_text" 10 1 "7200 s ahead"
ask plain
reply peer "${from_peer[@]}" --originate "$tx" --offset -7200.5
expect_status plain '^Clock NOT Set:   Delta = -7200 seconds \(Check TZ\)$' 10 1 "7200.5 s behind"
ask plain
reply peer "${from_peer[@]}" --originate "$tx" --offset 5399.5
expect_status plain '^Set Time error 1314$' 10 2 "5399.5 s ahead is below the limit (Wine refuses)"
ask plain
reply peer "${from_peer[@]}" --originate "$tx" --offset 5400.5
expect_status plain '^Clock NOT Set:   Delta = \+5400 seconds \(Check TZ\)$' 10 1 "5400.5 s ahead"
previous=$tx
ask plain
reply peer "${from_peer[@]}" --originate "$previous" --offset 0.25
expect_status plain "$rejected" 10 11 "a reply to the previous request rejected"
reply peer "${from_peer[@]}" --originate "$tx" --offset 0.25
expect_status plain '^Last set: .*   Delta: \+0\.2[4-7] secs$' 10 1 "a quarter second ahead"
# Right in every field, but sent to port 123: whoever sent it did not see
# the request, which went from another port. The same at that port is taken.
ask plain
push peer "${from_peer[@]}" --originate "$tx" --received "$(last_rx "$PEER_LOG")"
expect_status plain "$rejected" 10 12 "the right reply sent to port 123 rejected"
reply peer "${from_peer[@]}" --originate "$tx"
expect_status plain "$last_set" 10 3 "the same reply at the request's own port taken"

# Nine requests, each from a dynamic port of its own; one reply and 20
# pushes arrived, 12 were rejected, 2 were broadcasts.
ports=$(grep '^request ' "$PEER_LOG" | sed -n 's/^request from=[0-9.]*:\([0-9]*\) .*/\1/p')
[ "$(wc -l <<<"$ports")" = 9 ] || fail "requests seen by the peer: $(wc -l <<<"$ports"), want 9"
[ "$(sort -u <<<"$ports" | wc -l)" = 9 ] || fail "a port served two requests: $(tr '\n' ' ' <<<"$ports")"
awk '$1 < 49152 { exit 1 }' <<<"$ports" || fail "a request from outside the dynamic ports: $(tr '\n' ' ' <<<"$ports")"
log "request ports: $(tr '\n' ' ' <<<"$ports")"
expect_stats plain 9 21 2 12
prog_stop plain

# --- Servers ahead of us, through whole exchanges ---------------------------
prog_start ahead2 svc "$program" "$ahead2"
expect_status ahead2 '^Set Time error 1314$' 20 1 "server 2 s ahead: Wine refuses the set"
prog_stop ahead2
prog_start ahead7200 svc "$program" "$ahead7200"
expect_status ahead7200 "$ahead7200_text" 20 1 "server 7200 s ahead"
prog_stop ahead7200

# --- -b (any sender) and -u (unsynchronised servers) ------------------------
peer_up peerR
prog_start relaxed svc "$program" "${ADDR[peer]}" -b -u "${quiet[@]}"
expect_status relaxed "$last_set" 20 1 "reply with -b -u"
ask relaxed
reply peer "${from_peer[@]}" --originate "$tx" --leap 3
expect_status relaxed "$last_set" 10 2 "leap 3 accepted with -u"
ask relaxed
reply other --from "${ADDR[other]}" --originate "$tx"
expect_status relaxed "$last_set" 10 3 "another host accepted with -b"
push other --from "${ADDR[other]}" --broadcast --mode 5 --to-broadcast "$NET_BCAST"
expect_status relaxed "$last_set" 10 4 "broadcast from another host accepted with -b"
ask relaxed
reply peer "${from_peer[@]}"
expect_status relaxed "$rejected" 10 1 "a reply to no request of ours rejected, even with -b"
reply peer "${from_peer[@]}" --originate "$tx" --stratum 0
expect_status relaxed "$rejected" 10 2 "stratum 0 still rejected"
expect_stats relaxed 4 6 1 2
prog_stop relaxed

# --- -i (no 5400 s limit) and -s (close after the first accepted reply) ----
peer_up peerI
prog_start limitless svc "$program" "${ADDR[peer]}" -i "${quiet[@]}"
expect_status limitless "$last_set" 20 1 "reply with -i"
ask limitless
reply peer "${from_peer[@]}" --originate "$tx" --offset 7200
expect_status limitless '^Set Time error 1314$' 10 1 "7200 s is set with -i (Wine refuses)"
prog_stop limitless

peer_up peerS
prog_start closing svc "$program" "${ADDR[peer]}" -s
expect_status closing "$last_set" 20 1 "reply with -s"
prog_wait_exit closing 10 || fail "-s: the program did not close after the accepted reply"

# --- A host name at start: one request, and its reply sets ------------------
# The lookup's completion and the start's own request once both sent, so a
# server that answers once (this peer) had its answer rejected as unmatched.
peer_up peerN
if [ "$(basename "$program")" = kestrin.exe ]; then
  PROG_WATCH=0 prog_start named svc "$program" kacc-peer.test
  shown=$(nsx svc timeout 40 wine "$(dirname "$program")/app_driver.exe" wait-status 'Last set: ' 30) \
    || fail "a host name at start: no set ('${shown//$'\r'/}'); $(grep -c '^request ' "$PEER_LOG") requests at the peer"
else
  prog_start named svc "$program" kacc-peer.test "${quiet[@]}"
  expect_status named "$last_set" 20 1 "a host name at start: the reply to its one request"
  ! status_lines named | grep -qE "$rejected" || fail "a host name at start: a reply was rejected"
fi
[ "$(grep -c '^request ' "$PEER_LOG")" = 1 ] \
  || fail "a host name at start: $(grep -c '^request ' "$PEER_LOG") requests at the peer, want 1"
log "a host name at start: one request, set"
prog_stop named

log "PASS"
