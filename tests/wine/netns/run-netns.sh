#!/usr/bin/env bash
# Runs the time-service socket tests in two private network namespaces: the
# service (Wine, with its own wineserver) in kst-<tree>-<tag>-svc, the
# scripted peer in kst-<tree>-<tag>-peer (<tree>: four hex digits of the
# checkout's path), joined by a veth pair on 10.214.<n>.0/29, which exists
# only between these two namespaces. Always tears everything down.
# Usage: run-netns.sh TAG SUBNET WINEPREFIX SVCHOST_EXE [TEST_PATTERN...]
# Not -e: the test program's own status is this script's, and what the
# run made is removed by the EXIT trap whatever happened.
set -u
tag=$1 subnet=$2 source_prefix=$3 exe=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/lib/netns.sh"

[ "$(id -u)" -eq 0 ] || { echo "needs root for network namespaces: skipped"; exit 77; }

svc=kst-$NS_TREE-$tag-svc
peer=kst-$NS_TREE-$tag-peer
svc_addr=10.214.$subnet.1
peer_addr=10.214.$subnet.2
other_addr=10.214.$subnet.3  # a second peer address: a stranger
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" PYTHONDONTWRITEBYTECODE=1

# What a killed run of this tag left: its namespaces and prefix copies.
netns_clear_stale "kst-$NS_TREE-$tag-"
for old in "$KESTRIN_TMP/kst-$tag-prefix".*; do
  [ -d "$old" ] || continue
  log "removing $old left by an earlier run that did not finish"
  rm -rf "$old"
done

prefix=
cleanup() {
  if [ -n "$prefix" ]; then
    WINEPREFIX=$prefix timeout 10 ip netns exec "$svc" wineserver -k 2>/dev/null
    rm -rf "$prefix"
  fi
  netns_remove "$svc" "$peer"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$svc" && ip netns add "$peer" || exit 1
ip link add "kst$subnet-s" netns "$svc" type veth peer name "kst$subnet-p" netns "$peer" || exit 1
ip -n "$svc" addr add "$svc_addr/29" dev "kst$subnet-s"
ip -n "$peer" addr add "$peer_addr/29" dev "kst$subnet-p"
ip -n "$peer" addr add "$other_addr/29" dev "kst$subnet-p"
for ns in "$svc" "$peer"; do ip -n "$ns" link set lo up; done
ip -n "$svc" link set "kst$subnet-s" up
ip -n "$peer" link set "kst$subnet-p" up

# Names for the service: one in its hosts file, the rest asked of the peer,
# which plays a name server on port 53.
mkdir -p "/etc/netns/$svc"
printf '127.0.0.1 localhost\n%s ntp.kestrin.test\n' "$peer_addr" > "/etc/netns/$svc/hosts"
printf 'nameserver %s\noptions timeout:2 attempts:1\n' "$peer_addr" > "/etc/netns/$svc/resolv.conf"

# The X server lives in the first namespace: clients reach it through its
# file socket, which the shared mount namespace shows to all.
[ -n "${DISPLAY:-}" ] || xvfb_shared || exit 1

# Wine makes its sockets in the wineserver: it must run in the service's
# namespace, on a prefix of its own, a new copy each run, so that nothing a
# killed run left in its copy is used again.
mkdir -p "$KESTRIN_TMP"
prefix=$(mktemp -d "$KESTRIN_TMP/kst-$tag-prefix.XXXXXX") || exit 1
cp -a "$source_prefix/." "$prefix" || exit 1

WINEPREFIX=$prefix ip netns exec "$svc" wineserver -p 60 || exit 1
# The first Wine process starts the prefix's services, which can take many
# seconds on a loaded machine: do that here, detached from our pipes, so
# the tests time the service and not Wine's start-up.
( without_fds; exec env WINEPREFIX="$prefix" WINEDEBUG=-all,err+winediag \
    ip netns exec "$svc" wine cmd.exe /c exit ) </dev/null >"$prefix.start.log" 2>&1 || true
[ -s "$prefix.start.log" ] && { echo "run-netns: Wine said while starting:"; cat "$prefix.start.log"; }
rm -f "$prefix.start.log"

ip netns exec "$peer" /usr/bin/python3 -W ignore::ResourceWarning "$here/svc_test.py" \
  --svc-ns "$svc" --svc-addr "$svc_addr" --peer-addr "$peer_addr" --other-addr "$other_addr" \
  --prefix "$prefix" --exe "$exe" "$@"
