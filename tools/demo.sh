#!/bin/bash
# demo.sh BUILD_DIR: one whole policy update, as a sensor's host process
# runs it, against a real rsyslogd.  Runs inside tools/sandbox: nothing here
# touches the machine's own /etc or network.
set -euo pipefail

build=${1:-build}
src=$(cd "$(dirname "$0")/.." && pwd)
velkhost=$build/tools/velkhost/velkhost
policy=$src/examples/demo.xml
source "$src/tools/rsyslog-lab.sh"
LAB_RECEIVERS="operations=udp:10514 siem=tcp:10601 retired=udp:10515"

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

lab_start
say "The sensor runs rsyslogd (pid $(cat "$LAB/sensor.pid")) on its site template /etc/rsyslog.conf.in:"
cat /etc/rsyslog.conf.in
say "Loopback receivers: operations (udp 10514), siem (tcp 10601), retired (udp 10515)"
say "The policy, $policy:"
cat "$policy"

say "velkhost: PreProcess, Process, PostProcess, Validate (plug-in log on stderr)"
"$velkhost" --no-commit "$policy"
say "Generated /etc/rsyslog.conf.new:"
cat /etc/rsyslog.conf.new
say "rsyslogd's own check of it:"
rsyslogd -N1 -f /etc/rsyslog.conf.new

say "velkhost: the whole update, with Commit"
"$velkhost" "$policy"
say "Commit ran: $(cat "$VELK_SANDBOX/service.log"); rsyslogd now runs as pid $(cat "$LAB/sensor.pid") on /etc/rsyslog.conf"

say "Logging one event of each kind on the sensor"
lab_send local5.info "health: sensor temperature 41C"
lab_send local6.notice "system: interface eth1 up"
lab_send local7.warning "security: 3 failed logins for admin"
lab_wait "$LAB/recv-operations.log" "temperature" || true
lab_wait "$LAB/recv-siem.log" "failed logins" || true
lab_wait /var/zev/velk.log "failed logins" || true
sleep 0.5
for name in operations siem retired; do
  say "Received at $name:"
  cat "$LAB/recv-$name.log"
done
say "Local Velk log /var/zev/velk.log:"
cat /var/zev/velk.log
