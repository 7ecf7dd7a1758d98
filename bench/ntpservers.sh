# The reference servers of the benches, in namespaces made by netns.sh:
# chronyd and ntpsec's ntpd as scripts/setup.sh unpacks them, each run
# without the capability to set the clock; chronyd also with -x, ntpd never
# steps. Source after scripts/lib/netns.sh.

# ref_chronyd ROLE ADDRESS: chronyd serving the host clock at stratum 1.
ref_chronyd() {
  cat > "$RUN_DIR/ref.conf" <<EOC
local stratum 1
allow
port 123
cmdport 0
bindcmdaddress /
pidfile $RUN_DIR/ref.pid
EOC
  spawn ref "$1" "${NO_CLOCK[@]}" "$CHRONYD" -x -d -u root -f "$RUN_DIR/ref.conf"
  expect_line "$RUN_DIR/ref.log" 'Disabled control of system clock' 10 1 "chronyd start"
}

# ntpd_fed_by ROLE SERVER: ntpd following SERVER; returns once a client
# sees it synchronised (stratum 2).
ntpd_fed_by() {
  local role=$1 server=$2 i out
  cat > "$RUN_DIR/ntpd.conf" <<EOC
server $server iburst minpoll 3 maxpoll 4
tinker step 0 stepout 0 panic 0
disable kernel
driftfile $RUN_DIR/ntpd.drift
EOC
  spawn ntpd "$role" "${NO_CLOCK[@]}" "$NTPD" -n -x -c "$RUN_DIR/ntpd.conf" \
    -p "$RUN_DIR/ntpd.pid" -l "$RUN_DIR/ntpd.syslog"
  for i in $(seq 60); do
    out=$(ip netns exec "$(nsname "$role")" timeout 5 ntpdig -t 1 "${ADDR[$role]}" 2>/dev/null)
    case $out in *" s2 "*) log "ntpd synchronised: $out"; return 0 ;; esac
    sleep 1
  done
  fail "ntpd did not synchronise"
}
