# fault-lab.sh: collector faults against a sensor's rsyslogd, for the
# forwarding test and tools/forwarding-faults.sh.  Source it, after
# tools/rsyslog-lab.sh, from a script that runs in tools/sandbox.
#
#   fault_setup MODE          the sensor's daemon on a policy with local
#                             logging, a TCP collector (local6, local7) and
#                             a UDP collector (local5), SyslogForwardQueue
#                             MODE, through a whole policy update
#   fault_run SCENARIO FIRST COUNT RATE OUTAGE
#                             sends events FIRST.. at RATE a second while
#                             SCENARIO's fault lasts for OUTAGE events, then
#                             waits until the TCP collector has every event
#                             the sensor accepted (or a deadline passes)
#                             and sets FAULT_* to the counts
#
# Scenarios: refuse (the collector stops: connections are refused), kill
# (the collector is killed and started again), restart (the collector stops
# and the sensor's daemon restarts meanwhile), stall (the collector stops
# reading, its buffers and the sensor's tiny, while a burst is sent).
#
# Nothing waits a fixed time: every step waits for a condition (a count in
# a file, a port listening, a process gone) up to a generous deadline.

FAULT_TCP_PORT=10701
FAULT_UDP_PORT=10702
FAULT_PADDING=$(printf 'x%.0s' {1..60})

fault_fail() { echo "fault-lab: $*" >&2; exit 1; }

# fault_until SECONDS COMMAND...: runs COMMAND until it succeeds.
fault_until() {
  local secs=$1 i; shift
  for ((i = 0; i < secs * 50; i++)); do
    "$@" && return 0
    sleep 0.02
  done
  return 1
}

# Events of the range in FILE: fault_count FILE FIRST LAST
fault_count() {
  awk -v lo="$2" -v hi="$3" 'match($0, /velkfault: e[0-9]+ /) {
      id = substr($0, RSTART + 12, RLENGTH - 13) + 0
      if (id >= lo && id <= hi) n++
    } END { print n + 0 }' "$1" 2>/dev/null || echo 0
}
fault_at_least() { (($(fault_count "$1" "$2" "$3") >= $4)); }

# TCP buffers of 4 KiB for new sockets, in this network namespace only.
fault_small_tcp_buffers() {
  echo "4096 4096 4096" >/proc/sys/net/ipv4/tcp_rmem
  echo "4096 4096 4096" >/proc/sys/net/ipv4/tcp_wmem
}

fault_collector_conf() {  # NAME PROTO PORT
  cat >"$LAB/$1.conf" <<CONF
global(workDirectory="$LAB/$1-work")
# Each message is written by the thread that received it, so that a killed
# collector loses only what it had not yet read.
main_queue(queue.type="Direct")
module(load="im$2")
template(name="AsReceived" type="string" string="%rawmsg%\n")
ruleset(name="in") { action(type="omfile" file="$LAB/$1.log" template="AsReceived") }
input(type="im$2" address="127.0.0.1" port="$3" ruleset="in")
CONF
  mkdir -p "$LAB/$1-work"
  echo "$2 $3" >"$LAB/$1.listen"
  : >"$LAB/$1.log"
}

fault_listening() {  # NAME
  local proto port
  read -r proto port <"$LAB/$1.listen"
  if [[ $proto == tcp ]]; then
    [[ -n $(ss -Hltn "sport = :$port") ]]
  else
    [[ -n $(ss -Hlun "sport = :$port") ]]
  fi
}

# Starts collector NAME (fault_collector_conf) and waits until it listens.
fault_collector_start() {  # NAME
  rsyslogd -f "$LAB/$1.conf" -i "$LAB/$1.pid" || fault_fail "collector $1 did not start"
  fault_until 20 fault_listening "$1" || fault_fail "collector $1 does not listen"
}

fault_collector_stop() {  # NAME [SIGNAL]
  local pid; pid=$(cat "$LAB/$1.pid")
  kill "-${2:-TERM}" "$pid"
  fault_until 20 eval "! kill -0 $pid 2>/dev/null" || fault_fail "collector $1 did not stop"
  rm -f "$LAB/$1.pid"
}

fault_setup() {  # MODE
  mkdir -p "$LAB/sensor-work"
  lab_write_template
  lab_write_service
  cp /etc/rsyslog.conf.in /etc/rsyslog.conf
  service syslog start >/dev/null || fault_fail "the sensor's daemon did not start"
  fault_collector_conf tcp tcp "$FAULT_TCP_PORT"
  fault_collector_conf udp udp "$FAULT_UDP_PORT"
  fault_collector_start tcp
  fault_collector_start udp
  cat >"$LAB/policy.xml" <<POLICY
<policy xmlns="http://policy.velk.example/vorn/Korvanta/velk">
  <LocalLog enabled="true" maxSize="10MB"/>
  <RemoteSyslogServer enabled="true" healthEvent="false" systemEvent="true"
      securityEvent="true" proto="tcp" port="$FAULT_TCP_PORT" server="127.0.0.1"/>
  <RemoteSyslogServer enabled="true" healthEvent="true" systemEvent="false"
      securityEvent="false" proto="udp" port="$FAULT_UDP_PORT" server="127.0.0.1"/>
</policy>
POLICY
  "$VELKHOST" --log-level 1 --param "SyslogForwardQueue=$1" "$LAB/policy.xml" >/dev/null ||
    fault_fail "the policy update failed"
}

fault_sensor_pid() { cat "$LAB/sensor.pid"; }

# FAULT_* for the range FIRST..LAST: what the sensor accepted (its lines in
# the Velk log) against what the TCP collector received.
fault_tally() {  # FIRST LAST
  local counts
  counts=$(awk -v lo="$1" -v hi="$2" -v pad="$FAULT_PADDING" '
    {
      file = FILENAME == ARGV[1] ? 1 : FILENAME == ARGV[2] ? 2 : 3
      if (!match($0, /velkfault: e[0-9]+ /)) { if (file == 1) torn++; next }
      id = substr($0, RSTART + 12, RLENGTH - 13) + 0
      if (id < lo || id > hi) next
      if (file == 1) {
        if ($0 !~ ("^[^ ]+ [^ ]+ velkfault: e[0-9]+ " pad "$")) torn++
        if (id % 3 != 0) { accepted[id] = 1; if (id > newest) newest = id }
      } else if (file == 2) {
        if (id in got) dup++
        got[id] = 1
        if (id < top) late++
        if (id > top) top = id
        received++
      } else if (id % 3 == 0) {
        udp++
      }
    }
    END {
      for (id in accepted) { want++; if (!(id in got)) { lost++; ids = ids "," id } }
      printf "%d %d %d %d %d %d %d %d %s\n", want, received, lost, dup, late, torn, udp,
        newest in got, ids == "" ? "-" : substr(ids, 2)
    }' /var/zev/velk.log "$LAB/tcp.log" "$LAB/udp.log")
  read -r FAULT_ACCEPTED FAULT_RECEIVED FAULT_LOST FAULT_DUPLICATED FAULT_LATE \
    FAULT_TORN FAULT_UDP FAULT_LAST_RECEIVED FAULT_LOST_IDS <<<"$counts"
}

# Delivered up to the last event accepted, all but at most the two in
# flight that a collector may take with it as it goes away.
fault_delivered() {  # FIRST LAST
  fault_tally "$1" "$2"
  ((FAULT_LOST <= 2 && FAULT_LAST_RECEIVED))
}

fault_run() {  # SCENARIO FIRST COUNT RATE OUTAGE
  local scenario=$1 first=$2 count=$3 rate=$4 outage=$5
  local last=$((first + count - 1)) sender down_at
  # The collector goes down once a fifth of the events are in the Velk log.
  down_at=$((count / 5))
  [[ $scenario == stall ]] && down_at=0
  FAULT_SENDER_OK=0
  "$VELK_BINARY_DIR/tests/integration/event_sender" "$LAB/log.sock" "$first" \
    "$count" "$rate" /var/zev/velk.log "${FAULT_SETTLE:-60}" >"$LAB/sender.out" &
  sender=$!
  fault_until 60 fault_at_least /var/zev/velk.log "$first" "$last" "$down_at" ||
    fault_fail "$scenario: the Velk log does not grow"
  case $scenario in
    refuse|restart) fault_collector_stop tcp ;;
    kill) fault_collector_stop tcp KILL ;;
    stall) kill -STOP "$(cat "$LAB/tcp.pid")" ;;
    *) fault_fail "unknown scenario $scenario" ;;
  esac
  if [[ $scenario == restart ]]; then
    # The daemon restarts in the middle of the outage, its queue full.
    fault_until 120 fault_at_least /var/zev/velk.log "$first" "$last" $((down_at + outage / 2)) ||
      fault_fail "$scenario: the Velk log stopped during the outage"
    service syslog restart >/dev/null || fault_fail "the sensor did not restart"
  fi
  # The outage lasts while the sensor logs OUTAGE more events locally; a
  # stalled collector stays stopped until the sender is done and the Velk
  # log has caught up, or has not in time.
  if [[ $scenario == stall ]]; then
    wait "$sender" && FAULT_SENDER_OK=1
    fault_until "${FAULT_SETTLE:-60}" fault_at_least "$LAB/udp.log" "$first" "$last" $(((count + 2) / 3)) || true
    FAULT_UDP_DURING_STALL=$(fault_count "$LAB/udp.log" "$first" "$last")
    FAULT_RSS_KB=$(awk '/^VmHWM/ { print $2 }' "/proc/$(fault_sensor_pid)/status")
    kill -CONT "$(cat "$LAB/tcp.pid")"
  else
    fault_until 120 fault_at_least /var/zev/velk.log "$first" "$last" $((down_at + outage)) ||
      fault_fail "$scenario: the Velk log stopped during the outage"
    fault_collector_start tcp
    wait "$sender" && FAULT_SENDER_OK=1
    FAULT_RSS_KB=$(awk '/^VmHWM/ { print $2 }' "/proc/$(fault_sensor_pid)/status")
  fi
  read -r FAULT_SENDER <"$LAB/sender.out"
  # A local log that fell behind catches up first (but for what a restart
  # took with it: its socket's unread events).
  local taken=${FAULT_SENDER#accepted=}
  taken=${taken%% *}
  [[ $scenario == restart ]] ||
    fault_until "${FAULT_DELIVERY_WAIT:-60}" fault_at_least /var/zev/velk.log "$first" "$last" "$taken" ||
    true
  fault_until "${FAULT_DELIVERY_WAIT:-60}" fault_delivered "$first" "$last" || true
  fault_tally "$first" "$last"
}
