# What the shell tests share: `check DESCRIPTION COMMAND...` counts a pass
# or names the failure, and `finish` reports the counts and sets the status.
passes=0
failures=0
check() {
  local what=$1; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
same() {  # same FILE EXPECTED
  local got; got=$(cat "$1")
  [[ $got == "$2" ]] || { printf 'expected:\n%s\ngot:\n%s\n' "$2" "$got"; return 1; }
}
contains() { grep -qF -- "$2" "$1"; }  # contains FILE TEXT
finish() { echo "$passes passed, $failures failed"; [[ $failures -eq 0 ]]; }
