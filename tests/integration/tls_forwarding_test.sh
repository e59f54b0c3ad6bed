#!/bin/bash
# Forwarding over TLS against real rsyslogd collectors, with a CA and
# certificates made here: the collector whose certificate carries the
# server's name and comes from the configured CA receives exactly its
# events; collectors with a certificate for another name or from another
# CA receive nothing, and a plain TCP listener that a TLS forward reaches
# sees no readable event.  A plain TCP forward listed after the TLS ones
# stays plain.  Runs inside tools/sandbox.
set -euo pipefail
: "${VELK_SANDBOX:?refusing to run: this test writes /etc; run it through ctest or tools/sandbox}"

source "$VELK_SOURCE_DIR/tools/rsyslog-lab.sh"
source "$VELK_SOURCE_DIR/tools/fault-lab.sh"
source "$VELK_SOURCE_DIR/tests/support/checks.sh"

pki=$LAB/pki
mkdir -p "$pki" "$LAB/sensor-work" "$LAB/tls-work" "$LAB/plain-work"

# make_ca NAME; make_cert NAME COMMON-NAME CA
make_ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velk test $1" \
    -keyout "$pki/$1.key" -out "$pki/$1.pem" 2>/dev/null
}
make_cert() {
  openssl req -new -newkey rsa:2048 -nodes -subj "/CN=$2" \
    -keyout "$pki/$1.key" -out "$pki/$1.csr" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth,clientAuth\n' "$2" >"$pki/$1.ext"
  openssl x509 -req -days 2 -in "$pki/$1.csr" -CA "$pki/$3.pem" -CAkey "$pki/$3.key" \
    -CAcreateserial -extfile "$pki/$1.ext" -out "$pki/$1.pem" 2>/dev/null
}
make_ca ca
make_ca other-ca
make_cert good 127.0.0.1 ca
make_cert wrong-name collector.example ca
make_cert wrong-ca 127.0.0.1 other-ca
make_cert sensor sensor.example ca

# One daemon for the three TLS collectors, each input with its own
# certificate; it asks the sensor for none, and logs its own messages (a
# session dropped in the handshake) to tls-internal.log.  Two plain TCP
# collectors: one a TLS forward reaches, one for a plain TCP forward.
{
  echo "global(workDirectory=\"$LAB/tls-work\")"
  echo 'main_queue(queue.type="Direct")'
  echo 'module(load="imtcp" StreamDriver.Name="gtls" StreamDriver.Mode="1" StreamDriver.AuthMode="anon")'
  echo 'template(name="AsReceived" type="string" string="%rawmsg%\n")'
  echo 'global(processInternalMessages="on")'
  echo "syslog.* $LAB/tls-internal.log"
  for entry in good=6514 wrong-name=6515 wrong-ca=6516; do
    name=${entry%=*} port=${entry#*=}
    ca=ca
    [[ $name == wrong-ca ]] && ca=other-ca
    echo "ruleset(name=\"$name\") { action(type=\"omfile\" file=\"$LAB/$name.log\" template=\"AsReceived\") }"
    echo "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"$port\" ruleset=\"$name\"" \
      "streamDriver.CAFile=\"$pki/$ca.pem\" streamDriver.CertFile=\"$pki/$name.pem\"" \
      "streamDriver.KeyFile=\"$pki/$name.key\")"
    : >"$LAB/$name.log"
  done
} >"$LAB/tls.conf"
listening() { [[ -n $(ss -Hltn "sport = :$1") ]]; }
rsyslogd -f "$LAB/tls.conf" -i "$LAB/tls.pid"
for port in 6514 6515 6516; do
  check "TLS collector on port $port listens" fault_until 20 listening "$port"
done
fault_collector_conf plain tcp 6517
fault_collector_conf clear tcp 6518
fault_collector_start plain
fault_collector_start clear

lab_write_template
lab_write_service
cp /etc/rsyslog.conf.in /etc/rsyslog.conf
service syslog start >/dev/null

server() {  # PROTO PORT HEALTH SYSTEM SECURITY
  echo "<RemoteSyslogServer enabled=\"true\" healthEvent=\"$3\" systemEvent=\"$4\"" \
    "securityEvent=\"$5\" proto=\"$1\" port=\"$2\" server=\"127.0.0.1\"/>"
}
cat >"$LAB/policy.xml" <<POLICY
<policy xmlns="http://policy.velk.example/vorn/Korvanta/velk">
  <LocalLog enabled="true" maxSize="10MB"/>
  $(server tls 6514 false true true)
  $(server tls 6515 false false true)
  $(server tls 6516 false false true)
  $(server tls 6517 false false true)
  $(server tcp 6518 true false false)
</policy>
POLICY

# Without a CA the update fails and changes nothing.
cp /etc/rsyslog.conf "$LAB/before.conf"
check "no CA: the update fails" bash -c "! '$VELKHOST' --log-level 0 '$LAB/policy.xml' >'$LAB/noca.out' 2>&1"
check "no CA: the message names the parameter" contains "$LAB/noca.out" "SyslogTlsCaFile"
check "no CA: nothing changed" cmp -s /etc/rsyslog.conf "$LAB/before.conf"

for client in without with; do
  params=(--param "SyslogTlsCaFile=$pki/ca.pem")
  [[ $client == with ]] &&
    params+=(--param "SyslogTlsCertFile=$pki/sensor.pem" --param "SyslogTlsKeyFile=$pki/sensor.key")
  "$VELKHOST" --log-level 1 --no-commit "${params[@]}" "$LAB/policy.xml"
  check "$client client certificate: rsyslogd -N1 accepts it" rsyslogd -N1 -f /etc/rsyslog.conf.new
done
"$VELKHOST" --log-level 1 --param "SyslogTlsCaFile=$pki/ca.pem" "$LAB/policy.xml"

tag=$$
for i in 1 2 3; do
  lab_send local7.err "security-$tag-$i"
  lab_send local6.notice "system-$tag-$i"
  lab_send local5.info "health-$tag-$i"
done
check "the right collector gets its events" fault_until 30 \
  eval "[[ \$(grep -c -- '-$tag-' '$LAB/good.log') -ge 6 ]]"
check "the plain TCP forward after the TLS ones stays plain" fault_until 30 \
  eval "[[ \$(grep -c -- 'health-$tag-' '$LAB/clear.log') -ge 3 ]]"
# The sensor drops a handshake whose certificate it refuses, and tries
# again every second; the collectors' daemon logs each dropped session.
# Four of them: the wrong collectors have been tried, twice each as a rule.
check "the sensor refused the wrong collectors" fault_until 30 \
  eval "[[ \$(grep -c 'will be closed due to error' '$LAB/tls-internal.log') -ge 4 ]]"
check "the right collector got exactly its events, in <PRI>tag: msg form" \
  same "$LAB/good.log" "$(for i in 1 2 3; do
    printf '<187>velktest: security-%s-%s\n<181>velktest: system-%s-%s\n' "$tag" "$i" "$tag" "$i"
  done)"
check "a certificate for another name gets nothing" same "$LAB/wrong-name.log" ""
check "a certificate from another CA gets nothing" same "$LAB/wrong-ca.log" ""
check "no event in clear text at the plain listener" \
  bash -c "! grep -aq -- '-$tag-' '$LAB/plain.log'"

finish
