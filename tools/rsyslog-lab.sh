# rsyslog-lab.sh: a sensor's syslog world inside the sandbox, for the demo
# and the daemon tests.  Source it from a script that runs in tools/sandbox.
#
#   lab_start                 template, receivers, sensor daemon, service
#   lab_send FACILITY.PRIO TEXT
#                             logs TEXT through the sensor's daemon
#   lab_wait FILE TEXT [SECS] waits until FILE holds a line with TEXT
#
# Layout (all inside the sandbox):
#   /etc/rsyslog.conf.in      the site template: a private unix socket
#                             $LAB/log.sock as input, its own work directory
#   $LAB/receiver.conf        one rsyslogd listening on loopback for the
#                             forwarded messages, one file per port, each
#                             line the message exactly as it arrived
#   service syslog restart    stops the sensor's rsyslogd and starts it again
#                             on /etc/rsyslog.conf (pid file $LAB/sensor.pid);
#                             service syslog status: whether it runs

LAB=${LAB:-/tmp/velk-lab}

# Receiver ports: name=proto:port.  The receiver writes $LAB/recv-NAME.log.
LAB_RECEIVERS=${LAB_RECEIVERS:-"udp1=udp:10514 tcp1=tcp:10601"}

lab_fail() { echo "rsyslog-lab: $*" >&2; exit 1; }

lab_write_template() {
  cat >/etc/rsyslog.conf.in <<TEMPLATE
# rsyslog configuration of the sensor (site template).
# Local programs log through a private socket; nothing listens on /dev/log.
global(workDirectory="$LAB/sensor-work")
module(load="imuxsock" SysSock.Use="off")
input(type="imuxsock" Socket="$LAB/log.sock")
*.info;local5.none;local6.none;local7.none $LAB/messages
TEMPLATE
}

lab_write_receiver() {
  {
    echo "global(workDirectory=\"$LAB/receiver-work\")"
    echo 'module(load="imudp")'
    echo 'module(load="imtcp")'
    echo 'template(name="AsReceived" type="string" string="%rawmsg%\n")'
    local entry name proto port
    for entry in $LAB_RECEIVERS; do
      name=${entry%%=*}
      proto=${entry#*=}; proto=${proto%%:*}
      port=${entry##*:}
      echo "ruleset(name=\"$name\") { action(type=\"omfile\" file=\"$LAB/recv-$name.log\" template=\"AsReceived\") }"
      echo "input(type=\"im$proto\" address=\"127.0.0.1\" port=\"$port\" ruleset=\"$name\")"
      : >"$LAB/recv-$name.log"
    done
  } >"$LAB/receiver.conf"
}

lab_write_service() {
  cat >"$VELK_SANDBOX_BIN/service" <<SERVICE
#!/bin/bash
# The sensor's service command, for the syslog service only.
echo "service \$*" >>"\$VELK_SANDBOX/service.log"
[[ "\$1" == syslog ]] || { echo "service: unknown service \$1" >&2; exit 1; }
pidfile=$LAB/sensor.pid
stop() {
  [[ -s \$pidfile ]] || return 0
  local pid; pid=\$(cat "\$pidfile")
  kill "\$pid" 2>/dev/null
  for _ in \$(seq 100); do kill -0 "\$pid" 2>/dev/null || break; sleep 0.05; done
  rm -f "\$pidfile"
}
start() {
  rm -f $LAB/log.sock
  rsyslogd -f /etc/rsyslog.conf -i "\$pidfile" || return 1
  for _ in \$(seq 100); do [[ -S $LAB/log.sock ]] && return 0; sleep 0.05; done
  echo "service: rsyslogd did not come up" >&2; return 1
}
case "\$2" in
  stop) stop ;;
  start) start ;;
  restart) stop; start ;;
  status) [[ -s \$pidfile ]] && kill -0 "\$(cat "\$pidfile")" 2>/dev/null ;;
  *) echo "usage: service syslog {start|stop|restart|status}" >&2; exit 2 ;;
esac
SERVICE
  chmod 755 "$VELK_SANDBOX_BIN/service"
}

lab_start() {
  [[ -n ${VELK_SANDBOX:-} ]] || lab_fail "run me inside tools/sandbox"
  mkdir -p "$LAB/sensor-work" "$LAB/receiver-work"
  lab_write_template
  lab_write_receiver
  lab_write_service
  rsyslogd -f "$LAB/receiver.conf" -i "$LAB/receiver.pid" || lab_fail "receiver did not start"
  # The sensor starts on the template alone, as a freshly installed one.
  cp /etc/rsyslog.conf.in /etc/rsyslog.conf
  service syslog start >/dev/null || lab_fail "sensor daemon did not start"
  : >"$VELK_SANDBOX/service.log"
}

lab_send() {
  logger -u "$LAB/log.sock" -p "$1" -t velktest -- "$2"
}

lab_wait() {
  local file=$1 text=$2 secs=${3:-10} i
  for ((i = 0; i < secs * 20; i++)); do
    grep -qF -- "$text" "$file" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
