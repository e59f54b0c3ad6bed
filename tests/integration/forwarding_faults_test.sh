#!/bin/bash
# Forwarding under collector faults, against a real rsyslogd on the file the
# plug-in generates by default: a collector that refuses connections, one
# that is killed and started again, a restart of the sensor's daemon while
# the collector is down, and a collector that stops reading under a burst.
# Every event the sensor's daemon accepted (its line in the Velk log)
# reaches the TCP collector; the Velk log keeps up and has no torn line.
# Runs inside tools/sandbox.
set -euo pipefail
: "${VELK_SANDBOX:?refusing to run: this test writes /etc; run it through ctest or tools/sandbox}"

source "$VELK_SOURCE_DIR/tools/rsyslog-lab.sh"
source "$VELK_SOURCE_DIR/tools/fault-lab.sh"
source "$VELK_SOURCE_DIR/tests/support/checks.sh"
LAB_RECEIVERS=""

# Tiny TCP buffers (this network namespace only), so that a collector that
# stops reading holds the sender up after a few hundred events.
fault_small_tcp_buffers

fault_setup disk
check "the generated file passes rsyslogd -N1" rsyslogd -N1 -f /etc/rsyslog.conf

first=1
for scenario in refuse kill restart stall; do
  count=600 rate=200 outage=300
  [[ $scenario == stall ]] && count=1500 rate=1000
  fault_run "$scenario" "$first" "$count" "$rate" "$outage"
  echo "$scenario: sender $FAULT_SENDER; accepted $FAULT_ACCEPTED, received $FAULT_RECEIVED," \
    "lost $FAULT_LOST ($FAULT_LOST_IDS), duplicated $FAULT_DUPLICATED, out of order $FAULT_LATE, torn $FAULT_TORN"
  # A collector that goes away takes with it what reached it but was not yet
  # read: plain TCP syslog has no acknowledgement.  At 200 events a second
  # that is the one or two events in flight; the sensor resends the last.
  allowed=0
  [[ $scenario != stall ]] && allowed=2
  check "$scenario: no accepted event lost" test "$FAULT_LOST" -le "$allowed"
  check "$scenario: events were accepted" test "$FAULT_ACCEPTED" -gt $((count / 2))
  check "$scenario: duplicates bounded" test "$FAULT_DUPLICATED" -le 10
  check "$scenario: no torn line in the Velk log" test "$FAULT_TORN" -eq 0
  if [[ $scenario != restart ]]; then
    # Every accepted event reached the Velk log while the collector was out.
    check "$scenario: the Velk log kept up" test "$FAULT_SENDER_OK" -eq 1
  fi
  if [[ $scenario == stall ]]; then
    check "stall: the UDP collector was not held up" \
      test "$FAULT_UDP_DURING_STALL" -ge $((count / 3))
  fi
  first=$((first + count))
done

finish
