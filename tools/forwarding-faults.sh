#!/bin/bash
# forwarding-faults.sh [BUILD [SCENARIO...]]
#
# Measures what a sensor's rsyslogd delivers to its TCP collector under
# collector faults, with SyslogForwardQueue=none (the classic selector
# lines) and with the default (disk), and prints one table row per
# scenario.  Each run has a sandbox of its own (tools/sandbox); it takes
# about ten minutes.  BUILD is the build directory (default build).
#
#   refuse   the collector stops (connections refused) for 4000 events
#   kill     the collector is killed, and started 4000 events later
#   restart  as refuse, the sensor's daemon restarted halfway
#   stall    the collector stops reading during a burst of 40000 events at
#            2000 a second, with 4 KiB TCP buffers
#
# Columns: events sent, accepted by the daemon (their line in the Velk log),
# refused by its socket (the restart gap), lost and duplicated at the TCP
# collector, delivered out of order, torn lines in the Velk log, the Velk
# log's largest delay behind a send (an event it never got counts until
# the measurement gives up waiting, 20 s after the last send), the daemon's
# peak memory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

if [[ ${1:-} == --inside ]]; then
  mode=$2 scenario=$3
  source "$root/tools/rsyslog-lab.sh"
  source "$root/tools/fault-lab.sh"
  FAULT_SETTLE=20 FAULT_DELIVERY_WAIT=30
  fault_small_tcp_buffers
  fault_setup "$mode"
  case $scenario in
    stall) count=40000 rate=2000 ;;
    *) count=6000 rate=200 ;;
  esac
  fault_run "$scenario" 1 "$count" "$rate" 4000
  read -r accepted refused lag <<<"$(sed -E 's/[a-z_]+=//g' <<<"$FAULT_SENDER")"
  printf '%-6s %-8s %6d %8d %7d %6d %6d %6d %5d %8d %8d\n' "$mode" "$scenario" "$count" \
    "$FAULT_ACCEPTED" "$refused" "$FAULT_LOST" "$FAULT_DUPLICATED" "$FAULT_LATE" \
    "$FAULT_TORN" "$lag" "$((FAULT_RSS_KB / 1024))"
  exit 0
fi

build=$(cd "${1:-$root/build}" && pwd)
shift || true
scenarios=${*:-refuse kill restart stall}
export VELK_SOURCE_DIR=$root VELK_BINARY_DIR=$build
export VELKHOST=$build/tools/velkhost/velkhost VELK_PLUGIN=$build/libvelkconf.so
printf '%-6s %-8s %6s %8s %7s %6s %6s %6s %5s %8s %8s\n' mode scenario sent to_tcp \
  refused lost dup late torn delay_ms rss_mb
for scenario in $scenarios; do
  for mode in none disk; do
    row=$("$root/tools/sandbox" bash "$0" --inside "$mode" "$scenario" 2>/dev/null | tail -1) || true
    echo "${row:-$mode $scenario: failed}"
  done
done
