# NTS servers for the test networks: a test CA of the run's own with server
# certificates from it under $RUN_DIR/pki, chronyd and ntpsec's ntpd serving
# NTS with them (neither ever touching the clock), and the KESTRIN.INI lines
# that trust the test CA. Source after netns.sh.

CHRONYC=$(dirname "$CHRONYD")/../bin/chronyc
declare -A NTS_CHRONYD_ROLE=()

# nts_ca NAME...: a self-signed CA for each NAME, as pki/NAME.pem and .key.
nts_ca() {
  local n
  mkdir -p "$RUN_DIR/pki"
  for n in "$@"; do
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 \
      -subj "/CN=Kestrin test $n" -keyout "$RUN_DIR/pki/$n.key" -out "$RUN_DIR/pki/$n.pem" 2>/dev/null
  done
}

# nts_cert NAME CA HOST...: pki/NAME.pem and .key, a server certificate from
# the CA pki/CA.pem for the hosts. CERT_TIME: the date it is made at (through
# faketime); CERT_DAYS: how long it is valid (30).
nts_cert() {
  local n=$1 issuer=$2 pki=$RUN_DIR/pki; shift 2
  local sans="" h
  for h in "$@"; do sans+="${sans:+,}DNS:$h"; done
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$1" \
    -keyout "$pki/$n.key" -out "$pki/$n.csr" 2>/dev/null
  printf 'subjectAltName=%s\n' "$sans" > "$pki/$n.ext"
  ${CERT_TIME:+faketime "$CERT_TIME"} openssl x509 -req -in "$pki/$n.csr" -CA "$pki/$issuer.pem" \
    -CAkey "$pki/$issuer.key" -CAcreateserial -days "${CERT_DAYS:-30}" -extfile "$pki/$n.ext" \
    -out "$pki/$n.pem" 2>/dev/null || fail "certificate $n"
}

# nts_chronyd NAME ROLE CERT [LINE...]: chronyd in ROLE serving NTP and NTS-KE
# (port 4460) with the certificate pki/CERT, the lines added to its
# configuration $RUN_DIR/NAME.conf; its commands on $RUN_DIR/NAME.sock.
nts_chronyd() {
  local name=$1 role=$2 cert=$3; shift 3
  {
    cat <<EOC
local stratum 8
allow
port 123
ntsport 4460
ntsservercert $RUN_DIR/pki/$cert.pem
ntsserverkey $RUN_DIR/pki/$cert.key
ntsprocesses 0
cmdport 0
bindcmdaddress $RUN_DIR/$name.sock
pidfile $RUN_DIR/$name.pid
EOC
    [ $# -eq 0 ] || printf '%s\n' "$@"
  } > "$RUN_DIR/$name.conf"
  NTS_CHRONYD_ROLE[$name]=$role
  spawn "$name" "$role" "${NO_CLOCK[@]}" "$CHRONYD" -x -d -u root -f "$RUN_DIR/$name.conf"
}

# nts_server FROM_ROLE HOST [CA...]: the test CA "ca" (and the other CAs),
# its certificate for HOST, and chronyd in role srv serving NTS with it,
# answering FROM_ROLE as a synchronised server.
nts_server() {
  local from=$1 host=$2; shift 2
  nts_ca ca "$@"
  nts_cert srv ca "$host"
  nts_chronyd chrony srv srv
  chrony_ready "$from" "${ADDR[srv]}" 20
}

# nts_serverstat FIELD [NAME]: one figure of chronyc serverstats from the
# chronyd NAME (chrony) of nts_chronyd.
nts_serverstat() {
  local name=${2:-chrony}
  nsx "${NTS_CHRONYD_ROLE[$name]}" "$CHRONYC" -h "$RUN_DIR/$name.sock" serverstats 2>&1 |
    sed -n "s/^$1 *: *//p"
}

# nts_ntpd ROLE FROM_ROLE SERVER: ntpsec's ntpd in ROLE serving NTS with the
# certificate pki/ROLE, following SERVER; returns once FROM_ROLE sees it
# synchronised (stratum 2). Its log: $RUN_DIR/ROLE.syslog.
nts_ntpd() {
  local role=$1 from=$2 server=$3 out
  cat > "$RUN_DIR/$role.conf" <<EOC
server $server iburst minpoll 3 maxpoll 4
tinker step 0 stepout 0 panic 0
disable kernel
driftfile $RUN_DIR/$role.drift
nts cert $RUN_DIR/pki/$role.pem
nts key $RUN_DIR/pki/$role.key
nts cookie $RUN_DIR/$role.cookies
nts enable mintls TLS1.3
EOC
  spawn "$role" "$role" "${NO_CLOCK[@]}" "$NTPD" -n -x -c "$RUN_DIR/$role.conf" -p "$RUN_DIR/$role.pid" \
    -l "$RUN_DIR/$role.syslog"
  for _ in $(seq 90); do
    out=$(nsx "$from" timeout 5 ntpdig -t 1 "${ADDR[$role]}" 2>/dev/null)
    case $out in *" s2 "*) return 0 ;; esac
    sleep 1
  done
  fail "ntpd did not synchronise"
}

# nts_ini_roots: the KESTRIN.INI lines that turn NTS on with the test CA as
# the extra roots.
nts_ini_roots() { printf 'NTS=1\r\nNTSRootCerts=Z:%s\r\n' "${RUN_DIR//\//\\}\\pki\\ca.pem"; }
