# Private network namespaces joined by a bridge, background processes
# stopped with the run that started them, bounded waits and chronyd as a
# peer: what scripts/run.sh, the screenshots, the benches and the tests build
# their networks from. Sourcing it also brings wine.sh (the Windows program
# inside a namespace). Source it; it sets no options of its own besides
# traps.
#
# Topology made by net_create: one namespace per role, each with eth0 on a
# bridge that lives in its own namespace ("<prefix>-<tag>-br"). Addresses come
# from 10.213.<subnet>.0/24, which exists only inside these namespaces, so no
# packet can reach another host.

source "$(dirname "${BASH_SOURCE[0]}")/paths.sh"
source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"
PYTHON=/usr/bin/python3
export PYTHONDONTWRITEBYTECODE=1  # no __pycache__ in the source tree
PEERS_DIR=$KESTRIN_ROOT/tests/e2e  # peer.py, flood.py: scripted NTP peers
NS_PREFIX=${NS_PREFIX:-kst-e2e}
# Four hex digits of this checkout's path in every name: another checkout's
# run of the same script has names of its own, which this one neither
# collides with nor clears as stale.
NS_TREE=$(printf '%s' "$KESTRIN_ROOT" | md5sum | cut -c1-4)
declare -A ADDR=()
RUN_PIDS=()
RUN_NAMESPACES=()
RUN_WINEPREFIX=
RUN_WINEPREFIXES=()
RUN_XVFB=

# log TEXT...: TEXT on standard error behind the time of day.
log() { printf '[%s] %s\n' "$(date +%T.%N | cut -c1-12)" "$*" >&2; }
# fail TEXT...: logs TEXT as a failure and ends the script.
fail() { log "FAIL: $*"; exit 1; }

# run_begin TAG: a work directory and the cleanup trap for one script.
run_begin() {
  RUN_TAG=$1
  [ "$(id -u)" -eq 0 ] || { echo "needs root (network namespaces)" >&2; exit 77; }
  # What a killed run of the same script left: its namespaces with their
  # processes, and its copies of the Wine prefix (its logs stay).
  netns_clear_stale "$NS_PREFIX-$NS_TREE-$RUN_TAG-"
  rm -rf "$KESTRIN_TMP/$NS_PREFIX-$RUN_TAG".*/prefix{,-*}
  mkdir -p "$KESTRIN_TMP"
  RUN_DIR=$(mktemp -d "$KESTRIN_TMP/$NS_PREFIX-$RUN_TAG.XXXXXX")
  trap run_end EXIT
  trap 'exit 130' INT TERM
}

# run_end: the EXIT trap of run_begin: stops what the run started, removes its
# namespaces and X server, keeps the logs of a run that failed.
run_end() {
  local rc=$? pid ns prefix
  # Everything below must run, whatever options the sourcing script set.
  set +e +o pipefail
  for prefix in "${RUN_WINEPREFIXES[@]}"; do
    WINEPREFIX=$prefix timeout 10 wineserver -k 2>/dev/null
  done
  for pid in "${RUN_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  netns_remove "${RUN_NAMESPACES[@]}"
  [ -n "$RUN_XVFB" ] && xvfb_stop "$RUN_XVFB"
  if [ "$rc" -ne 0 ] && [ -d "$RUN_DIR" ]; then
    log "logs kept in $RUN_DIR"
    rm -rf "${RUN_WINEPREFIXES[@]}"
  else
    rm -rf "$RUN_DIR"
  fi
  return "$rc"
}

# netns_remove NS...: each namespace with the processes still in it, and
# its /etc/netns folder. Its file in /run/netns goes even when the namespace
# behind it is gone (its run was killed with its mount namespace).
netns_remove() {
  local ns
  for ns in "$@"; do
    ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null
    ip netns del "$ns" 2>/dev/null
    rm -rf "/etc/netns/$ns"
  done
  return 0
}

# netns_clear_stale PREFIX: removes the namespaces named PREFIX* that a
# killed run left, with the processes still in them, and says so.
netns_clear_stale() {
  local ns
  for ns in $(ip netns list | awk '{print $1}' | grep "^$1" || true); do
    log "removing namespace $ns left by an earlier run that did not finish"
    netns_remove "$ns"
  done
}

# nsname ROLE: the namespace of ROLE in this run.
nsname() { printf '%s-%s-%s-%s' "$NS_PREFIX" "$NS_TREE" "$RUN_TAG" "$1"; }

# nsx ROLE CMD...: run a command inside the role's namespace.
nsx() { local role=$1; shift; ip netns exec "$(nsname "$role")" "$@"; }

# net_create SUBNET ROLE...: role i (from 1) gets 10.213.SUBNET.i on eth0.
net_create() {
  local subnet=$1; shift
  local br; br=$(nsname br)
  ip netns add "$br"; RUN_NAMESPACES+=("$br")
  ip -n "$br" link set lo up
  ip -n "$br" link add br0 type bridge
  ip -n "$br" link set br0 up
  local i=0 role ns
  for role in "$@"; do
    i=$((i + 1)); ns=$(nsname "$role")
    ip netns add "$ns"; RUN_NAMESPACES+=("$ns")
    ip -n "$ns" link set lo up
    ip link add name eth0 netns "$ns" type veth peer name "p$i" netns "$br"
    ip -n "$br" link set "p$i" master br0 up
    ip -n "$ns" addr add "10.213.$subnet.$i/24" broadcast "10.213.$subnet.255" dev eth0
    ip -n "$ns" link set eth0 up
    ADDR[$role]=10.213.$subnet.$i
  done
  NET_BCAST=10.213.$subnet.255
}

# net_alias ROLE ADDRESS: a second address on the role's eth0.
net_alias() { ip -n "$(nsname "$1")" addr add "$2/24" dev eth0; }

# net_hosts ROLE "ADDRESS NAME"...: /etc/hosts seen by processes in ROLE.
net_hosts() {
  local role=$1; shift
  local dir=/etc/netns/$(nsname "$role")
  mkdir -p "$dir"
  printf '127.0.0.1 localhost\n' > "$dir/hosts"
  printf '%s\n' "$@" >> "$dir/hosts"
}

# spawn NAME ROLE CMD...: run in the background, output in $RUN_DIR/NAME.log;
# the pid lands in LAST_PID.
spawn() {
  local name=$1 role=$2; shift 2
  # ip netns exec and wine exec in place, so the pid is the program's own.
  ip netns exec "$(nsname "$role")" "$@" >"$RUN_DIR/$name.log" 2>&1 &
  LAST_PID=$!
  RUN_PIDS+=("$LAST_PID")
}

# wait_for FILE REGEX SECONDS [COUNT]: until FILE has COUNT (default 1) lines
# matching REGEX. Returns 1 on timeout.
wait_for() {
  local file=$1 re=$2 secs=$3 want=${4:-1} n
  local deadline=$((SECONDS + secs))
  while :; do
    n=$(grep -cE -- "$re" "$file" 2>/dev/null || true)
    [ "${n:-0}" -ge "$want" ] && return 0
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# expect_line FILE REGEX SECONDS [COUNT] WHAT: wait_for or fail with WHAT.
expect_line() {
  local file=$1 re=$2 secs=$3 want=$4 what=$5
  wait_for "$file" "$re" "$secs" "$want" || {
    log "last lines of $file:"; tail -n 15 "$file" >&2
    fail "$what: no line matching /$re/ (x$want) within ${secs}s"
  }
}

# chrony_server NAME ROLE [STRATUM]: the unpacked chronyd as a server in
# ROLE, never touching the clock (-x, no clock capability), with its own
# configuration.
chrony_server() {
  local name=$1 role=$2 stratum=${3:-8}
  cat > "$RUN_DIR/$name.conf" <<EOF
local stratum $stratum
allow
port 123
cmdport 0
bindcmdaddress /
pidfile $RUN_DIR/$name.pid
EOF
  [ -x "$CHRONYD" ] || fail "no chronyd at $CHRONYD: run scripts/setup.sh"
  spawn "$name" "$role" "${NO_CLOCK[@]}" "$CHRONYD" -x -d -u root -f "$RUN_DIR/$name.conf"
}

# chrony_ready FROM_ROLE ADDRESS SECONDS: waits until the chronyd at ADDRESS
# answers ntpdig in FROM_ROLE as a synchronised server (until then it sends
# leap 3, which the program rejects); fails after SECONDS.
chrony_ready() {
  local role=$1 addr=$2 deadline=$((SECONDS + $3)) out=
  until out=$(nsx "$role" timeout 3 ntpdig -t 1 "$addr" 2>/dev/null) && [[ $out == *no-leap* ]]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the chronyd at $addr does not answer as synchronised"
    sleep 0.2
  done
}

# ns_pids ROLE: pids of every process in the role's namespace.
ns_pids() { ip netns pids "$(nsname "$1")"; }
