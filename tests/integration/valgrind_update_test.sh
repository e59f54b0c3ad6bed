#!/bin/bash
# Whole updates under valgrind's memcheck: every entry point, the success
# and the failure paths, with no invalid access and no definite or indirect
# leak.  Runs inside tools/sandbox.
set -uo pipefail
: "${VELK_SANDBOX:?refusing to run: this test writes /etc; run it through ctest or tools/sandbox}"
source "$VELK_SOURCE_DIR/tests/support/checks.sh"

policy=$VELK_SOURCE_DIR/examples/demo.xml
echo '# template' >/etc/rsyslog.conf.in
broken=$(mktemp)
printf '<policy xmlns="x"><LocalLog enabled="true"' >"$broken"

exits() {  # exits STATUS VELKHOST-ARGS...: velkhost under memcheck (99: memcheck found errors)
  local want=$1; shift
  valgrind --quiet --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
    --suppressions="$VELK_SOURCE_DIR/tests/integration/valgrind.supp" "$VELKHOST" "$@"
  local got=$?
  [[ $got == "$want" ]] || { echo "exit $got, expected $want"; return 1; }
}

check "a whole update" exits 0 --log-level 0 "$policy"
check "an apply up to the commit" exits 0 apply --no-check --force --no-commit "$policy"
check "an update whose policy does not parse" exits 1 --log-level 0 "$broken"
rm -f /etc/rsyslog.conf.in
check "an update without a template" exits 1 --log-level 0 "$policy"
finish
