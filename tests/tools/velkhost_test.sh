#!/bin/bash
# velkhost's operator commands against a real rsyslogd: apply checks before
# it commits and leaves an unchanged configuration alone, render changes no
# file, check and info report.  Runs inside tools/sandbox.
set -uo pipefail
: "${VELK_SANDBOX:?refusing to run: this test writes /etc; run it through ctest or tools/sandbox}"

source "$VELK_SOURCE_DIR/tools/rsyslog-lab.sh"
source "$VELK_SOURCE_DIR/tests/support/checks.sh"
policy=$VELK_SOURCE_DIR/examples/demo.xml
scratch=$(mktemp -d)

run() {  # run NAME ARGS...: velkhost's status, stdout and stderr in $scratch
  local name=$1; shift
  "$VELKHOST" "$@" >"$scratch/$name.out" 2>"$scratch/$name.err"
  echo $? >"$scratch/$name.status"
}
status() { [[ $(cat "$scratch/$1.status") == "$2" ]] || { cat "$scratch/$1.err"; return 1; }; }
restarts() { grep -c restart "$VELK_SANDBOX/service.log"; }

lab_start
cp /etc/rsyslog.conf "$scratch/original"

# render: shows the configuration, changes nothing.
run render render "$policy"
check "render succeeds" status render 0
check "render prints the forwarding rules" contains "$scratch/render.out" 'local6.*;local7.* action(type="omfwd" target="127.0.0.1" port="10601" protocol="tcp"'
check "render leaves no new file" test ! -e /etc/rsyslog.conf.new
check "render leaves the live file" cmp -s /etc/rsyslog.conf "$scratch/original"
run diff render --diff --check "$policy"
check "render --diff succeeds" status diff 0
check "diff names the live file" contains "$scratch/diff.out" "--- /etc/rsyslog.conf"
check "diff adds the local log rules" contains "$scratch/diff.out" "+local5.* -/var/zev/velk.log"
check "render --check gives the verdict" contains "$scratch/diff.out" "rsyslogd -N1 accepts it"
check "render restarts nothing" test "$(restarts)" = 0

# apply: checked, committed, restarted.
run apply apply "$policy"
check "apply succeeds" status apply 0
check "apply reports" contains "$scratch/apply.out" "applied: /etc/rsyslog.conf updated"
check "apply puts the rules live" contains /etc/rsyslog.conf 'local5.* action(type="omfwd" target="127.0.0.1" port="10514" protocol="udp"'
check "apply restarts once" test "$(restarts)" = 1

# apply again: nothing to do.
run again apply "$policy"
check "unchanged apply succeeds" status again 0
check "unchanged is reported" contains "$scratch/again.out" "unchanged"
check "no restart when unchanged" test "$(restarts)" = 1
check "no new file left when unchanged" test ! -e /etc/rsyslog.conf.new
run force apply --force "$policy"
check "apply --force commits anyway" test "$(restarts)" = 2

# A template the daemon rejects: nothing is committed.
cp /etc/rsyslog.conf "$scratch/live"
echo 'this is no rsyslog statement' >>/etc/rsyslog.conf.in
run bad apply "$policy"
check "rejected apply exits 4" status bad 4
check "the daemon's own message is shown" contains "$scratch/bad.err" "rsyslogd"
check "the live file is untouched" cmp -s /etc/rsyslog.conf "$scratch/live"
check "no new file left after a rejection" test ! -e /etc/rsyslog.conf.new
check "no restart after a rejection" test "$(restarts)" = 2
run nocheck apply --no-check --no-commit "$policy"
check "--no-check skips the daemon" status nocheck 0

# check and info.
run live check
check "check accepts the live file" status live 0
check "check names the file" contains "$scratch/live.out" "/etc/rsyslog.conf: accepted by rsyslogd"
run rejected check /etc/rsyslog.conf.in
check "check rejects a broken file" status rejected 4
run info info
check "info shows the name" contains "$scratch/info.out" "@(#)!ZEVNAME!libvelkconf.so!ZEVNAME!"
check "info shows the namespace" contains "$scratch/info.out" "/vorn/Korvanta/velk"

# Errors name the file and the reason.
run missing apply /no/such/policy.xml
check "a missing policy exits 3" status missing 3
check "the error names file and reason" contains "$scratch/missing.err" "/no/such/policy.xml: No such file or directory"
run usage apply --bogus "$policy"
check "an unknown option exits 2" status usage 2
run broken apply "$VELK_SOURCE_DIR/README.md"
check "a policy that does not parse exits 1" status broken 1
check "with the plug-in's message" contains "$scratch/broken.err" "SAXParseException while parsing input stream: "

rm -rf "$scratch"
finish
