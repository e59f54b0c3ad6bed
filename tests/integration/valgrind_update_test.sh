#!/bin/bash
# Whole updates under valgrind's memcheck: every entry point, the success
# and the failure paths, with no invalid access and no definite or indirect
# leak.  Runs inside tools/sandbox.
set -uo pipefail

policy=$VELK_SOURCE_DIR/examples/demo.xml
echo '# template' >/etc/rsyslog.conf.in
broken=$(mktemp)
printf '<policy xmlns="x"><LocalLog enabled="true"' >"$broken"

memcheck() {
  valgrind --quiet --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
    --suppressions="$VELK_SOURCE_DIR/tests/integration/valgrind.supp" \
    "$VELKHOST" "$@"
}

passes=0
failures=0
expect_status() {  # expect_status WANT DESCRIPTION ARGS...
  local want=$1 what=$2; shift 2
  memcheck "$@"
  local got=$?
  if [[ $got == "$want" ]]; then
    passes=$((passes + 1))
  else
    echo "FAIL: $what: exit $got, expected $want (99: memcheck found errors)"
    failures=$((failures + 1))
  fi
}

expect_status 0 "a whole update" --log-level 0 "$policy"
expect_status 0 "a second update" apply --no-check --force "$policy"
expect_status 1 "an update whose policy does not parse" --log-level 0 "$broken"
rm -f /etc/rsyslog.conf.in
expect_status 1 "an update without a template" --log-level 0 "$policy"

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
