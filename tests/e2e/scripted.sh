#!/usr/bin/env bash
# The time service against the scripted peer: the request on the wire, and
# the replies no real server sends (leap 3, stratum 0, zero transmit seconds,
# wrong sender, broadcasts, 2 s and 7200 s ahead, short datagrams), with and
# without the switches that relax the checks.
# Usage: scripted.sh PROGRAM.exe WINEPREFIX
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/netns.sh"
source "$here/program.sh"
program=$1 prefix=$2

e2e_setup scripted
net_create 12 svc peer other
alias_addr=10.213.12.20 ahead2=10.213.12.30 ahead7200=10.213.12.31
for a in "$alias_addr" "$ahead2" "$ahead7200"; do net_alias peer "$a"; done
wine_prepare svc "$prefix"
spawn peer peer "$E2E_PY" "$here/peer.py" serve --bind "${ADDR[peer]}" --duration 170
spawn peer2 peer "$E2E_PY" "$here/peer.py" serve --bind "$ahead2" --offset 2 --duration 170
spawn peer7200 peer "$E2E_PY" "$here/peer.py" serve --bind "$ahead7200" --offset 7200 --duration 170
for p in peer peer2 peer7200; do expect_line "$E2E_DIR/$p.log" '^ready' 10 1 "$p start"; done

# push ROLE ARGS...: one crafted message to the service, port 123.
push() {
  local role=$1; shift
  nsx "$role" "$E2E_PY" "$here/peer.py" push --to "${ADDR[svc]}" "$@" >>"$E2E_DIR/push.log" 2>&1 \
    || fail "push $*"
}
from_peer=(--from "${ADDR[peer]}" --any-port)
last_set='^Last set: .*   Delta: [+-]0\.0[0-9] secs$'
rejected='^NTP Reply rejected$'

# --- Default switches -------------------------------------------------------
prog_start plain svc "$program" "${ADDR[peer]}"
expect_line "$E2E_DIR/peer.log" \
  "^request from=${ADDR[svc]//./\\.}:123 len=48 version=1 mode=3 " 20 1 "version-1 request from port 123"
expect_status plain "$last_set" 20 1 "reply from the scripted peer"

# Each case: what is sent, then the status it must produce (running count).
push peer "${from_peer[@]}" --leap 3
expect_status plain "$rejected" 10 1 "leap indicator 3 rejected"
push peer "${from_peer[@]}" --leap 1
expect_status plain "$last_set" 10 2 "leap indicator 1 accepted, from another port"
push peer "${from_peer[@]}" --stratum 0
expect_status plain "$rejected" 10 2 "stratum 0 rejected"
push peer "${from_peer[@]}" --zero-tx
expect_status plain "$rejected" 10 3 "zero transmit seconds rejected"
push peer --from "$alias_addr" --any-port
expect_status plain "$rejected" 10 4 "reply from a second address of the server's host rejected"
push other --from "${ADDR[other]}"
expect_status plain "$rejected" 10 5 "reply from another host rejected"
push peer "${from_peer[@]}" --length 20
expect_status plain "$rejected" 10 6 "20-byte reply rejected"
push peer --from "${ADDR[peer]}" --any-port --broadcast --mode 5 --to-broadcast "$E2E_BCAST"
expect_status plain "$last_set" 10 3 "broadcast from the server accepted"
push other --from "${ADDR[other]}" --broadcast --mode 5 --to-broadcast "$E2E_BCAST"
expect_status plain "$rejected" 10 7 "broadcast from another host rejected"
push peer "${from_peer[@]}" --offset 2
expect_status plain '^Set Time error 1314$' 10 1 "2 s ahead: Wine refuses the set"
# Whole seconds are cut, not rounded: a server exactly 7200 s ahead may be
# measured a hair under and shown as +7199.
ahead7200_text='^Clock NOT Set:   Delta = \+(7199|7200) seconds \(Check TZ\)$'
push peer "${from_peer[@]}" --offset 7200
expect_status plain "$ahead7200_text" 10 1 "7200 s ahead"
push peer "${from_peer[@]}" --offset -7200.5
expect_status plain '^Clock NOT Set:   Delta = -7200 seconds \(Check TZ\)$' 10 1 "7200.5 s behind"
push peer "${from_peer[@]}" --offset 5399.5
expect_status plain '^Set Time error 1314$' 10 2 "5399.5 s ahead is below the limit (Wine refuses)"
push peer "${from_peer[@]}" --offset 5400.5
expect_status plain '^Clock NOT Set:   Delta = \+5400 seconds \(Check TZ\)$' 10 1 "5400.5 s ahead"
push peer "${from_peer[@]}" --offset 0.25
expect_status plain '^Last set: .*   Delta: \+0\.2[4-7] secs$' 10 1 "a quarter second ahead"

# One reply and 15 pushes arrived, 7 were rejected, 2 were broadcasts, and
# the one request is all that was sent.
expect_stats plain 1 16 2 7
prog_stop plain

# --- Servers ahead of us, through whole exchanges ---------------------------
prog_start ahead2 svc "$program" "$ahead2"
expect_status ahead2 '^Set Time error 1314$' 20 1 "server 2 s ahead: Wine refuses the set"
prog_stop ahead2
prog_start ahead7200 svc "$program" "$ahead7200"
expect_status ahead7200 "$ahead7200_text" 20 1 "server 7200 s ahead"
prog_stop ahead7200

# --- -b (any sender) and -u (unsynchronised servers) ------------------------
prog_start relaxed svc "$program" "${ADDR[peer]}" -b -u
expect_status relaxed "$last_set" 20 1 "reply with -b -u"
push peer "${from_peer[@]}" --leap 3
expect_status relaxed "$last_set" 10 2 "leap 3 accepted with -u"
push other --from "${ADDR[other]}"
expect_status relaxed "$last_set" 10 3 "another host accepted with -b"
push other --from "${ADDR[other]}" --broadcast --mode 5 --to-broadcast "$E2E_BCAST"
expect_status relaxed "$last_set" 10 4 "broadcast from another host accepted with -b"
push peer "${from_peer[@]}" --stratum 0
expect_status relaxed "$rejected" 10 1 "stratum 0 still rejected"
expect_stats relaxed 1 5 1 1
prog_stop relaxed

# --- -i (no 5400 s limit) and -s (close after the first accepted reply) ----
prog_start limitless svc "$program" "${ADDR[peer]}" -i
expect_status limitless "$last_set" 20 1 "reply with -i"
push peer "${from_peer[@]}" --offset 7200
expect_status limitless '^Set Time error 1314$' 10 1 "7200 s is set with -i (Wine refuses)"
prog_stop limitless

prog_start closing svc "$program" "${ADDR[peer]}" -s
expect_status closing "$last_set" 20 1 "reply with -s"
prog_wait_exit closing 10 || fail "-s: the program did not close after the accepted reply"

log "PASS"
