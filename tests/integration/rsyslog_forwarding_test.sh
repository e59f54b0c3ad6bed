#!/bin/bash
# A whole policy update by the reference host against a real rsyslogd: the
# generated configuration passes the daemon's own check, the restart puts it
# live, and every message reaches exactly the receivers its policy selects.
# Runs inside tools/sandbox.
set -euo pipefail
: "${VELK_SANDBOX:?refusing to run: this test writes /etc; run it through ctest or tools/sandbox}"

here=$(cd "$(dirname "$0")" && pwd)
source "$VELK_SOURCE_DIR/tools/rsyslog-lab.sh"
source "$VELK_SOURCE_DIR/tests/support/checks.sh"
LAB_RECEIVERS="health=udp:10514 syssec=tcp:10601 disabled=udp:10515 noflags=tcp:10602"


lab_start
old_pid=$(cat "$LAB/sensor.pid")

# Process only: the new file must satisfy the daemon before anything is live.
"$VELKHOST" --log-level 1 --no-commit "$here/four_servers.xml"
check "generated file passes rsyslogd -N1" rsyslogd -N1 -f /etc/rsyslog.conf.new
check "nothing restarted before the commit" same "$VELK_SANDBOX/service.log" ""

# The whole update.
"$VELKHOST" --log-level 1 "$here/four_servers.xml"
check "restart requested once" same "$VELK_SANDBOX/service.log" "service syslog restart"
check "no new file left behind" test ! -e /etc/rsyslog.conf.new
check "live file passes rsyslogd -N1" rsyslogd -N1 -f /etc/rsyslog.conf
new_pid=$(cat "$LAB/sensor.pid")
check "the daemon was restarted" test "$old_pid" != "$new_pid"

tag=$$
lab_send local5.info "health-$tag"
lab_send local6.notice "system-$tag"
lab_send local7.err "security-$tag"
lab_send user.info "other-$tag"

check "health event at its UDP server" lab_wait "$LAB/recv-health.log" "health-$tag"
check "system event at the TCP server" lab_wait "$LAB/recv-syssec.log" "system-$tag"
check "security event at the TCP server" lab_wait "$LAB/recv-syssec.log" "security-$tag"
check "other facility stays local" lab_wait "$LAB/messages" "other-$tag"
check "local5 in the Velk log" lab_wait /var/zev/velk.log "health-$tag"
check "local6 in the Velk log" lab_wait /var/zev/velk.log "system-$tag"
check "local7 in the Velk log" lab_wait /var/zev/velk.log "security-$tag"
# Give stray deliveries time to show before checking that none came.
sleep 1

check "health receiver got exactly its event" \
  same "$LAB/recv-health.log" "<174>velktest: health-$tag"
check "TCP receiver got exactly its two events" \
  same "$LAB/recv-syssec.log" "<181>velktest: system-$tag
<187>velktest: security-$tag"
check "disabled server got nothing" same "$LAB/recv-disabled.log" ""
check "server without flags got nothing" same "$LAB/recv-noflags.log" ""
check "other facility not in the Velk log" bash -c "! grep -q other-$tag /var/zev/velk.log"

finish
