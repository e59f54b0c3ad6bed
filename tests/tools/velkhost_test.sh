#!/bin/bash
# velkhost as an operator uses it, against a real rsyslogd: the policy is
# checked before anything is written, apply commits only what was checked,
# verifies the restart and rolls back, status tells what is live, render and
# check change nothing and need no root.  Runs inside tools/sandbox.
set -uo pipefail
: "${VELK_SANDBOX:?refusing to run: this test writes /etc; run it through ctest or tools/sandbox}"

source "$VELK_SOURCE_DIR/tools/rsyslog-lab.sh"
source "$VELK_SOURCE_DIR/tests/support/checks.sh"
scratch=$(mktemp -d)
chmod 755 "$scratch"
ns=http://policy.velk.example/vorn/Korvanta/velk

run() {  # run NAME ARGS...: velkhost's status, stdout and stderr in $scratch
  local name=$1; shift
  "$VELKHOST" "$@" >"$scratch/$name.out" 2>"$scratch/$name.err" <"${STDIN:-/dev/null}"
  echo $? >"$scratch/$name.status"
}
status() { [[ $(cat "$scratch/$1.status") == "$2" ]] || { echo "exit $(cat "$scratch/$1.status"), expected $2"; cat "$scratch/$1.err"; return 1; }; }
lines() { [[ $(wc -l <"$1") == "$2" ]] || { echo "$1 has $(wc -l <"$1") lines, expected $2:"; cat "$1"; return 1; }; }
lacks() { ! grep -qF -- "$2" "$1"; }  # lacks FILE TEXT
quietly() { "$@" >/dev/null 2>&1; }
restarts() { grep -c 'syslog restart' "$VELK_SANDBOX/service.log"; }
sum() { sha256sum <"$1" | cut -d' ' -f1; }
daemon=(--pid-file "$LAB/sensor.pid")
sanitized=false
ldd "$VELKHOST" | grep -q libasan && sanitized=true

# policy NAME PORT [LOCAL [SERVER-ATTRIBUTES]]: a policy file in $scratch.
policy() {
  local attrs=${4:-"enabled=\"true\" healthEvent=\"true\" systemEvent=\"true\" securityEvent=\"true\" proto=\"udp\" port=\"$2\" server=\"127.0.0.1\""}
  cat >"$scratch/$1.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<!-- SECRET-POLICY-TEXT -->
<policy xmlns="$ns">
  <LocalLog enabled="${3:-true}" maxSize="1MB"/>
  <RemoteSyslogServer $attrs/>
</policy>
XML
  echo "$scratch/$1.xml"
}
server() {  # server NAME=VALUE...: server attributes with some replaced
  local -A a=([enabled]=true [healthEvent]=true [systemEvent]=true [securityEvent]=true [proto]=udp [port]=514 [server]=127.0.0.1)
  local pair out=
  for pair in "$@"; do a[${pair%%=*}]=${pair#*=}; done
  for pair in "${!a[@]}"; do [[ ${a[$pair]} == OMIT ]] || out+="$pair=\"${a[$pair]}\" "; done
  echo "$out"
}

lab_start
cp "$VELK_SANDBOX_BIN/service" "$VELK_SANDBOX_BIN/service.lab"
A=$(policy a 10514)
B=$(policy b 10515)

# --- The policy is checked first: FILE:LINE:COL once, no echo, nothing written.
i=0
for bad in port=0 port=65536 port=abc port= proto=icmp proto=TCP "server=bad host!" server= server=::1 enabled=yes \
           "healthEvent=OMIT systemEvent=OMIT securityEvent=OMIT"; do
  i=$((i + 1))
  # shellcheck disable=SC2086
  p=$(policy bad$i 514 true "$(IFS=$'\n'; server $bad)")
  run bad$i apply "${daemon[@]}" "$p"
  check "apply refuses $bad" status bad$i 1
  check "$bad: one line on stderr" lines "$scratch/bad$i.err" 1
  check "$bad: named by file, line and column" grep -qE "^velkhost: $p:[0-9]+:[0-9]+: " "$scratch/bad$i.err"
done
check "the policy is not echoed" lacks "$scratch/bad1.err" SECRET-POLICY-TEXT
check "nothing restarted for refused policies" test "$(restarts)" = 0
check "no new file written for refused policies" test ! -e /etc/rsyslog.conf.new
for doc in "<velk xmlns=\"$ns\"/>" '<policy xmlns="http://example.com/other"/>' \
           '<policy><LocalLog enabled="true" maxSize="1"/></policy>' \
           "<!DOCTYPE policy [<!ENTITY e \"x\">]><policy xmlns=\"$ns\"/>"; do
  i=$((i + 1))
  echo "$doc" >"$scratch/bad$i.xml"
  run bad$i check "$scratch/bad$i.xml"
  check "check refuses: $doc" status bad$i 1
  check "with its place: $doc" grep -qE "^velkhost: $scratch/bad$i.xml:[0-9]+:[0-9]+: " "$scratch/bad$i.err"
done

# Logging switched off by mistake.
quiet=$(policy quiet 514 false "$(server enabled=false)")
noevents=$(policy noevents 514 false "$(server healthEvent=false systemEvent=false securityEvent=false)")
run quiet apply "${daemon[@]}" "$quiet"
check "a policy that logs nothing is refused" status quiet 1
check "and says how to allow it" contains "$scratch/quiet.err" "--allow-silent"
run noevents check "$noevents"
check "a server with no event is no logging" status noevents 1
run allowed check --allow-silent "$quiet"
check "--allow-silent accepts it" status allowed 0
offline=$(policy offline 514 true "$(server enabled=false)")
run offline check "$offline"
check "a policy whose every server is off is refused" status offline 1
check "as forwarding turned off" contains "$scratch/offline.err" "every server is disabled or selects no event"
run offline-allowed check --allow-silent "$offline"
check "unless --allow-silent" status offline-allowed 0

# Files that are no policy.
: >"$scratch/empty.xml"
run empty apply --param RepositoryRoot=/etc/tesk --ns-info fileName=velk/p.xml "$scratch/empty.xml"
check "an empty policy exits 3" status empty 3
check "named as empty" contains "$scratch/empty.err" "$scratch/empty.xml: empty file"
run dir apply "$scratch"
check "a directory exits 3" status dir 3
check "named as a directory" contains "$scratch/dir.err" "$scratch: is a directory"
truncate -s 4G "$scratch/huge.xml"
run huge render "$scratch/huge.xml"
check "a 4 GiB policy exits 3" status huge 3
check "the limit is named" contains "$scratch/huge.err" "larger than 1048576 bytes (--max-size raises the limit)"
# Out of memory is one line and exit 3, never an abort.  (Not under the
# sanitizers, which need more address space than any limit leaves.)
if ! $sanitized; then
  truncate -s 300M "$scratch/large.xml"
  (ulimit -v 200000; run oom render --max-size 400000000 "$scratch/large.xml")
  check "out of memory exits 3" status oom 3
  check "in one line" same "$scratch/oom.err" "velkhost: out of memory"
fi
run missing apply /no/such/policy.xml
check "a missing policy exits 3" status missing 3
check "with file and reason" contains "$scratch/missing.err" "/no/such/policy.xml: No such file or directory"
STDIN=$A run stdin check -
check "- reads the policy from stdin" status stdin 0
# The daemon that checks is the system's, not the first on PATH.
mkdir -p "$scratch/path"
printf '#!/bin/sh\ntouch %s/path/used\n' "$scratch" >"$scratch/path/rsyslogd"
cp "$scratch/path/rsyslogd" "$scratch/path/diff"
chmod 755 "$scratch/path/rsyslogd" "$scratch/path/diff"
PATH=$scratch/path:$PATH run pathcheck check
check "check runs the system's rsyslogd" status pathcheck 0
PATH=$scratch/path:$PATH run pathdiff render --diff "$A"
check "render --diff runs the system's diff" status pathdiff 1
check "neither ran a program found first on PATH" test ! -e "$scratch/path/used"
run norsyslogd apply "${daemon[@]}" --rsyslogd /no/such/rsyslogd "$A"
check "a missing rsyslogd exits 3" status norsyslogd 3
check "and is named as missing" contains "$scratch/norsyslogd.err" "cannot run /no/such/rsyslogd: No such file or directory"
check "nothing was restarted" test "$(restarts)" = 0

# --- Command line.
run version --version
check "--version names the version" grep -qE '^velkhost [0-9]+\.[0-9]+\.[0-9]+$' "$scratch/version.out"
run help-apply apply --help
run help-render render --help
check "apply has its own help" contains "$scratch/help-apply.out" "usage: velkhost apply"
check "render has its own help" contains "$scratch/help-render.out" "usage: velkhost render"
check "each help names only its options" lacks "$scratch/help-render.out" "--detailed-exitcodes"
run quiet-update --no-commit --log-level -1 "$A"
check "a negative --log-level is taken as given: no log lines" lines "$scratch/quiet-update.err" 0
rm -f /etc/rsyslog.conf.new
run usage apply --bogus "$A"
check "an unknown option exits 2" status usage 2
check "in one line and a hint" same "$scratch/usage.err" "velkhost apply: unknown option --bogus
Try 'velkhost apply --help'."
run info info
check "info names the plug-in in words" contains "$scratch/info.out" "name:      libvelkconf.so"
check "info shows no raw identification" lacks "$scratch/info.out" "@(#)"
# With its own location unknown (no /proc), velkhost loads nothing relative
# to the current directory, where a plug-in waits.  (Not under the
# sanitizers, which cannot run without /proc.)
if ! $sanitized; then
  mkdir -p "$scratch/cwd/bin" "$scratch/cwd/lib"
  cp "$VELK_PLUGIN" "$scratch/cwd/lib/libvelkconf.so.1"
  (cd "$scratch/cwd/bin" && unshare --mount --propagation private \
    bash -c 'mount -t tmpfs none /proc && exec "$0" info' "$VELKHOST") >"$scratch/noproc.out" 2>&1
  check "without its own location velkhost refuses" test $? = 3
  check "and says so" contains "$scratch/noproc.out" "cannot find velkhost's own location"
  check "it loads no plug-in of the current directory" lacks "$scratch/noproc.out" "loaded:"
fi

# --- render and check change nothing; they need no root.
cp /etc/rsyslog.conf "$scratch/original"
run render render --check "$A"
check "render succeeds" status render 0
check "render's stdout is a file rsyslogd accepts" quietly rsyslogd -N1 -f "$scratch/render.out"
check "the verdict goes to stderr" contains "$scratch/render.err" "rsyslogd -N1 accepts it"
check "render leaves no new file" test ! -e /etc/rsyslog.conf.new
check "render leaves the live file" cmp -s /etc/rsyslog.conf "$scratch/original"
run diff render --diff "$A"
check "render --diff exits 1 on a difference" status diff 1
check "diff names the live file" contains "$scratch/diff.out" "--- /etc/rsyslog.conf"
check "diff adds the rules" contains "$scratch/diff.out" "+local5.*;local6.*;local7.* action(type=\"omfwd\" target=\"127.0.0.1\" port=\"10514\" protocol=\"udp\""
mv /etc/rsyslog.conf "$scratch/live.away"
run nolive render --diff "$A"
check "with no live file every line is added" contains "$scratch/nolive.out" "+local5.* -/var/zev/velk.log"
check "and diff does not complain" lines "$scratch/nolive.err" 0
mv "$scratch/live.away" /etc/rsyslog.conf
nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
mkdir -p "$scratch/repo/policies/velk" "$scratch/repo/schemas/velk"
cp "$A" "$scratch/repo/policies/velk/p.xml"
cp "$VELK_SOURCE_DIR/schemas/velk.xsd" "$scratch/repo/schemas/velk/"
run repo render --from-repository --param "RepositoryRoot=$scratch/repo" --ns-info fileName=velk/p.xml \
  --ns-info relativePath=velk --ns-info schemaName=velk.xsd --check
check "render hands --param and --ns-info to the plug-in" contains "$scratch/repo.out" "local5.*;local6.*;local7.* action(type=\"omfwd\" target=\"127.0.0.1\" port=\"10514\" protocol=\"udp\""
cp "$quiet" "$scratch/repo/policies/velk/p.xml"
run repo-quiet render --from-repository --param "RepositoryRoot=$scratch/repo" --ns-info fileName=velk/p.xml \
  --ns-info relativePath=velk --ns-info schemaName=velk.xsd
check "a repository policy that logs nothing is refused too" status repo-quiet 1
check "naming the repository's file" contains "$scratch/repo-quiet.err" "$scratch/repo/policies/velk/p.xml: the policy turns logging off"
# The real /etc's writers' lock (root's, 0600) stays out of the private one.
install -m 0600 /dev/null /etc/.rsyslog.conf.new.lock
"${nobody[@]}" "$VELKHOST" render --check "$A" >"$scratch/nobody.out" 2>"$scratch/nobody.err"
check "render works as nobody" test $? = 0
check "and renders the rules" contains "$scratch/nobody.out" "local5.*;local6.*;local7.* action(type=\"omfwd\" target=\"127.0.0.1\" port=\"10514\" protocol=\"udp\""
"${nobody[@]}" "$VELKHOST" check "$A" >"$scratch/nobody-check.out" 2>&1
check "check POLICY works as nobody" test $? = 0
check "check POLICY names the policy" contains "$scratch/nobody-check.out" "$A: valid"
check "neither restarted anything" test "$(restarts)" = 0

# --- apply: checked, committed, verified.
old_pid=$(cat "$LAB/sensor.pid")
chmod 0640 /etc/rsyslog.conf
chgrp adm /etc/rsyslog.conf
original_sum=$(sum /etc/rsyslog.conf)
run apply apply "${daemon[@]}" --diff --detailed-exitcodes "$A"
check "apply exits 10 with --detailed-exitcodes" status apply 10
check "apply shows the diff first" contains "$scratch/apply.out" "+local5.*;local6.*;local7.* action(type=\"omfwd\" target=\"127.0.0.1\" port=\"10514\" protocol=\"udp\""
check "apply reports the restart" contains "$scratch/apply.out" "applied: /etc/rsyslog.conf updated from $A; syslog restarted"
check "the daemon was restarted" test "$(cat "$LAB/sensor.pid")" != "$old_pid"
check "the last known good file is the previous live one" test "$(sum /var/lib/velkhost/last-good.conf)" = "$original_sum"
check "with its mode and group" test "$(stat -c %a:%G /var/lib/velkhost/last-good.conf)" = 640:adm
run again apply "${daemon[@]}" --detailed-exitcodes --json "$A"
check "unchanged exits 0 with --detailed-exitcodes" status again 0
check "--json: one object" lines "$scratch/again.out" 1
check "--json: the outcome" contains "$scratch/again.out" '"outcome":"unchanged"'
check "--json: the daemon's verdict" contains "$scratch/again.out" '"verdict":"accepted"'
check "--json: the checksum" contains "$scratch/again.out" "\"sha256\":\"$(sum /etc/rsyslog.conf)\""
check "no restart when unchanged" test "$(restarts)" = 1
run same render --diff --json "$A"
check "render --diff exits 0 when nothing differs" status same 0
check "render --json: one object" lines "$scratch/same.out" 1
check "render --json: the outcome" contains "$scratch/same.out" '"outcome":"same"'
run status status "${daemon[@]}"
check "status succeeds" status status 0
check "status shows the live checksum" contains "$scratch/status.out" "sha256 $(sum /etc/rsyslog.conf)"
check "status shows the policy" contains "$scratch/status.out" "policy:     $A sha256 $(sum "$A")"
check "status shows when" grep -qE '^applied: +[0-9]{4}-[0-9]{2}-[0-9]{2}T' "$scratch/status.out"
check "status shows the last known good file" contains "$scratch/status.out" "last good:  /var/lib/velkhost/last-good.conf sha256 $original_sum"
check "status sees the daemon on it" contains "$scratch/status.out" "daemon:     running on the live file"
run status-json status "${daemon[@]}" --json
check "status --json" contains "$scratch/status-json.out" '"live_as_applied":true'

# rollback by hand.
run apply-b apply "${daemon[@]}" "$B"
a_sum=$(sum /var/lib/velkhost/last-good.conf)
run rollback rollback "${daemon[@]}"
check "rollback succeeds" status rollback 0
check "the previous file is live again" test "$(sum /etc/rsyslog.conf)" = "$a_sum"
run after-rollback status "${daemon[@]}"
check "status names the policy of the restored file" contains "$scratch/after-rollback.out" "policy:     $A"
chmod 0666 /etc/rsyslog.conf
run apply-open apply "${daemon[@]}" "$B"
run rollback-open rollback "${daemon[@]}"
check "a rollback makes the live file writable by no one else" test "$(stat -c %a /etc/rsyslog.conf)" = 644

# --- What velkhost keeps is trusted only while no one else controls it.
chmod 0777 /var/lib/velkhost
run open-dir apply "${daemon[@]}" "$B"
check "a state directory others may write is refused" status open-dir 3
check "and named" contains "$scratch/open-dir.err" "/var/lib/velkhost: not trusted"
chmod 0700 /var/lib/velkhost
chown 65534 /var/lib/velkhost
run other-dir rollback "${daemon[@]}"
check "so is one of another user" status other-dir 3
chown 0 /var/lib/velkhost
mv /var/lib/velkhost/state "$scratch/state.away"
ln -s "$scratch/state.away" /var/lib/velkhost/state
run linked status "${daemon[@]}"
check "a state file that is a link is not read" status linked 3
check "and why is said" contains "$scratch/linked.err" "/var/lib/velkhost/state: Too many levels of symbolic links"
rm /var/lib/velkhost/state
mkdir /var/lib/velkhost/state
run unreadable apply "${daemon[@]}" "$B"
check "a state file that cannot be read stops apply" status unreadable 3
check "with the reason" contains "$scratch/unreadable.err" "cannot read the state /var/lib/velkhost/state: Is a directory"
rmdir /var/lib/velkhost/state
mv "$scratch/state.away" /var/lib/velkhost/state
mv /var/lib/velkhost/last-good.conf "$scratch/last-good.away"
ln -s "$scratch/last-good.away" /var/lib/velkhost/last-good.conf
live_sum=$(sum /etc/rsyslog.conf)
run linked-good rollback "${daemon[@]}"
check "a last known good file that is a link is not restored" status linked-good 3
check "the live file stays" test "$(sum /etc/rsyslog.conf)" = "$live_sum"
rm /var/lib/velkhost/last-good.conf
mv "$scratch/last-good.away" /var/lib/velkhost/last-good.conf

# --- A restart that fails, a daemon that is dead when the restart returns,
# and one that dies after it was first found running: the last known good
# file comes back, with its mode, and the daemon runs.  (The stand-in
# misbehaves only on the configuration forwarding to FAILPORT; in "late"
# mode it stops the daemon when asked for its status a second time.)
cat >"$VELK_SANDBOX_BIN/service" <<SERVICE
#!/bin/bash
mode=\$(cat $scratch/failmode)
if grep -qF -- "\$(cat $scratch/failport)" /etc/rsyslog.conf; then
  if [[ \$2 == restart && \$mode == slow ]]; then
    "$VELK_SANDBOX_BIN/service.lab" syslog stop >/dev/null
    echo 0 >$scratch/probes
    exit 0
  fi
  if [[ \$2 == status && \$mode == slow && -e $scratch/probes ]]; then
    probes=\$((\$(cat $scratch/probes) + 1))
    echo \$probes >$scratch/probes
    if ((probes >= 60)); then
      rm $scratch/probes
      "$VELK_SANDBOX_BIN/service.lab" syslog start >/dev/null
    fi
  fi
  if [[ \$2 == restart && \$mode != late ]]; then
    echo "service \$*" >>"$VELK_SANDBOX/service.log"
    if [[ \$mode == exit ]]; then
      "$VELK_SANDBOX_BIN/service.lab" syslog stop >/dev/null
      sh -c 'exit 0' & echo \$! >"$LAB/sensor.pid"; wait
      exit 0
    fi
    exit 1
  fi
  if [[ \$2 == status && \$mode == late ]]; then
    if [[ -e $scratch/probed ]]; then
      "$VELK_SANDBOX_BIN/service.lab" syslog stop >/dev/null
    else
      touch $scratch/probed
    fi
  fi
fi
exec "$VELK_SANDBOX_BIN/service.lab" "\$@"
SERVICE
C=$(policy c 10599)
echo 10599 >"$scratch/failport"
for mode in fail exit late; do
  echo "$mode" >"$scratch/failmode"
  rm -f "$scratch/probed"
  live_sum=$(sum /etc/rsyslog.conf)
  chmod 0640 /etc/rsyslog.conf
  # The lab's restart returns once the daemon is up (or never will be): a
  # short timeout only shortens the wait for a restart that did not happen.
  run restart-$mode apply "${daemon[@]}" --restart-timeout 3 "$C"
  check "$mode: apply exits 7" status restart-$mode 7
  check "$mode: the restart's failure is reported" contains "$scratch/restart-$mode.err" "syslog did not come up on the new configuration"
  check "$mode: so is the rollback" contains "$scratch/restart-$mode.out" "rolled back: /etc/rsyslog.conf is the last known good configuration again"
  check "$mode: the previous live file is back" test "$(sum /etc/rsyslog.conf)" = "$live_sum"
  check "$mode: with its mode" test "$(stat -c %a /etc/rsyslog.conf)" = 640
  check "$mode: the daemon runs" service syslog status
done
check "late: the daemon's early death is named" contains "$scratch/restart-late.err" "stopped right after it started"
# With no live file before, there is nothing to go back to: say what is live
# and what to do.
mv /etc/rsyslog.conf "$scratch/live.kept"
echo fail >"$scratch/failmode"
run no-previous apply "${daemon[@]}" --restart-timeout 3 "$C"
check "no previous file: apply exits 8" status no-previous 8
check "no previous file: what is live is named" contains "$scratch/no-previous.err" "/etc/rsyslog.conf is live now, from $C"
check "no previous file: and what to do" contains "$scratch/no-previous.err" "run: service syslog restart"
mv "$scratch/live.kept" /etc/rsyslog.conf
service syslog restart
# A daemon that comes up only after many probes (seconds, at a probe every
# tenth of a second) is a slow restart, not a failed one.  The probes, not
# the clock, make it slow: a generous timeout keeps a loaded machine (each
# probe a process or two) from turning it into a failed one.
echo slow >"$scratch/failmode"
run restart-slow apply "${daemon[@]}" --restart-timeout 600 "$C"
check "slow: apply waits for the daemon" status restart-slow 0
check "slow: and reports it applied" contains "$scratch/restart-slow.out" "applied: /etc/rsyslog.conf updated from $C"
# A restart that leaves a process holding its output open does not hold
# velkhost (bounded, so that a fault fails rather than hangs).
cat >"$VELK_SANDBOX_BIN/service" <<SERVICE
#!/bin/bash
if [[ \$2 == restart ]]; then
  (until [[ -e $scratch/release-output ]]; do sleep 0.05; done) &
fi
exec "$VELK_SANDBOX_BIN/service.lab" "\$@"
SERVICE
timeout 300 "$VELKHOST" rollback "${daemon[@]}" >"$scratch/held-output.out" 2>&1
check "rollback returns while the restart's output is held open" test $? = 0
touch "$scratch/release-output"
cp "$VELK_SANDBOX_BIN/service.lab" "$VELK_SANDBOX_BIN/service"

# --- A file changed between the check and the commit is not committed.
cat >"$scratch/rsyslogd-then-write" <<'WRAP'
#!/bin/bash
rsyslogd "$@"; rc=$?
echo 'this is no rsyslog statement' >/etc/.velk-other && mv /etc/.velk-other /etc/rsyslog.conf.new
exit $rc
WRAP
chmod 755 "$scratch/rsyslogd-then-write"
live_sum=$(sum /etc/rsyslog.conf)
restarts_before=$(restarts)
run changed apply "${daemon[@]}" --rsyslogd "$scratch/rsyslogd-then-write" "$B"
check "a file changed after the check exits 6" status changed 6
check "and is named" contains "$scratch/changed.err" "/etc/rsyslog.conf.new changed after it was checked"
check "the live file is untouched" test "$(sum /etc/rsyslog.conf)" = "$live_sum"
check "nothing was restarted" test "$(restarts)" = "$restarts_before"
rm -f /etc/rsyslog.conf.new

# --- The lock: a second apply fails clearly, or waits with --wait.
flock /var/lib/velkhost/lock bash -c "touch $scratch/held; until [[ -e $scratch/release ]]; do sleep 0.05; done" &
holder=$!
until [[ -e $scratch/held ]]; do sleep 0.05; done
run locked apply "${daemon[@]}" "$B"
check "a locked apply exits 5" status locked 5
check "and says why" contains "$scratch/locked.err" "another velkhost holds /var/lib/velkhost/lock"
"$VELKHOST" apply "${daemon[@]}" --wait 600 "$B" >"$scratch/waited.out" 2>&1 &
waiter=$!
touch "$scratch/release"
wait "$waiter"
check "apply --wait gets the lock once it is free" test $? = 0
wait "$holder"

# --- Two applies at once, many times: every file the daemon was restarted
# on had been checked before the restart.
cat >"$scratch/rsyslogd-logged" <<WRAP
#!/bin/bash
[[ \$1 == -N1 ]] && sha256sum <"\$3" | cut -d' ' -f1 >>$scratch/checked.log
exec rsyslogd "\$@"
WRAP
chmod 755 "$scratch/rsyslogd-logged"
cat >"$VELK_SANDBOX_BIN/service" <<SERVICE
#!/bin/bash
if [[ \$2 == restart ]]; then
  s=\$(sha256sum </etc/rsyslog.conf | cut -d' ' -f1)
  grep -qx "\$s" $scratch/checked.log || echo "\$s" >>$scratch/unchecked.log
fi
exec "$VELK_SANDBOX_BIN/service.lab" "\$@"
SERVICE
sum /etc/rsyslog.conf >"$scratch/checked.log"
: >"$scratch/unchecked.log"
applier() {  # applier N: ten applies of policies of its own
  local k
  for k in $(seq 10); do
    "$VELKHOST" apply "${daemon[@]}" --wait 600 --settle 0 --rsyslogd "$scratch/rsyslogd-logged" \
      "$(policy race$1-$k $((20000 + $1 * 100 + k)))" >/dev/null 2>>"$scratch/race.err"
    echo $? >>"$scratch/race.status"
  done
}
applier 1 & first=$!
applier 2 & second=$!
wait "$first" "$second"
check "twenty concurrent applies all applied" test "$(grep -cx 0 "$scratch/race.status")" = 20
check "no unchecked file was ever committed" same "$scratch/unchecked.log" ""
cp "$VELK_SANDBOX_BIN/service.lab" "$VELK_SANDBOX_BIN/service"

# --- A template the daemon rejects: nothing is committed.
cp /etc/rsyslog.conf "$scratch/live"
restarts_before=$(restarts)
echo 'this is no rsyslog statement' >>/etc/rsyslog.conf.in
run bad apply "${daemon[@]}" "$A"
check "rejected apply exits 4" status bad 4
check "the daemon's own message is shown" contains "$scratch/bad.err" "rsyslogd"
check "the live file is untouched" cmp -s /etc/rsyslog.conf "$scratch/live"
check "no new file left after a rejection" test ! -e /etc/rsyslog.conf.new
check "no restart after a rejection" test "$(restarts)" = "$restarts_before"
run live check
check "check FILE keeps its meaning" status live 0
check "check names the file" grep -qE "^/etc/rsyslog.conf: accepted by (/usr/sbin/)?rsyslogd" "$scratch/live.out"
run rejected check /etc/rsyslog.conf.in
check "check rejects a broken file" status rejected 4

rm -rf "$scratch"
finish
