#!/usr/bin/env bash
# Runs the whole-program tests (app_tests.exe) under Wine inside a private
# network namespace, with a scripted NTP peer in a second one, so nothing the
# program sends (requests, name lookups) can leave the namespaces.
# Usage: run-app.sh APP_TESTS_EXE WINEPREFIX [gtest args...]
# Not -e: the test program's own status is this script's, and what the
# run made is removed by the EXIT trap whatever happened.
set -u
tests_exe=$1 prefix=$2; shift 2
export NS_PREFIX=kst-ui
# shellcheck source=../../../scripts/lib/netns.sh
source "$(cd "$(dirname "$0")" && pwd)/../../../scripts/lib/netns.sh"

run_begin app
net_create 63 app peer
# Name lookups stay on the namespace's loopback, where nothing answers;
# "timehost" is the peer.
net_hosts app "${ADDR[peer]} timehost"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' > "/etc/netns/$(nsname app)/resolv.conf"

spawn peer peer "$PYTHON" "$PEERS_DIR/peer.py" serve --bind "${ADDR[peer]}"
expect_line "$RUN_DIR/peer.log" '^ready' 10 1 "NTP peer"
wine_prepare app "$prefix"

KESTRIN_TEST_SERVER=${ADDR[peer]} nsx app timeout 540 wine "$tests_exe" "$@"
