#!/bin/bash
# An installed velkhost loads the plug-in installed beside it, wherever the
# installation is moved, and never the build tree's: the build folder is
# hidden (a private mount over it) and the binary holds none of its paths.
# Runs inside tools/sandbox.
set -uo pipefail
: "${VELK_SANDBOX:?refusing to run: this test mounts over the build tree; run it through ctest or tools/sandbox}"
source "$VELK_SOURCE_DIR/tests/support/checks.sh"

scratch=$(mktemp -d)
cmake --install "$VELK_BINARY_DIR" --prefix "$scratch/prefix" >/dev/null
velkhost=$scratch/prefix/bin/velkhost

check "no build-tree path in the installed velkhost" \
  bash -c "! strings '$velkhost' | grep -qF -e '$VELK_BINARY_DIR' -e '$VELK_SOURCE_DIR'"
check "no build-tree marker installed" test ! -e "$scratch/prefix/bin/velkhost.build-tree"

# The marker is written so that velkhost trusts it, whatever the umask.
(umask 002; cmake -S "$VELK_SOURCE_DIR" -B "$scratch/umask-build" >/dev/null)
check "the build-tree marker is no one else's to write under umask 002" \
  test "$(stat -c %a "$scratch/umask-build/tools/velkhost/velkhost.build-tree")" = 644
rm -rf "$scratch/umask-build"

# The build folder moved away: nothing is left at its path.
mount -t tmpfs velk-hidden "$VELK_BINARY_DIR"
mv "$scratch/prefix" "$scratch/moved"
velkhost=$scratch/moved/bin/velkhost
"$velkhost" info >"$scratch/info.out" 2>&1
check "the moved installation's velkhost runs info" test $? = 0
check "it loads the plug-in installed beside it" \
  grep -qE "^loaded: +$scratch/moved/lib[^ ]*/libvelkconf\.so" "$scratch/info.out"
echo '# template' >/etc/rsyslog.conf.in
echo '*.* /dev/null' >>/etc/rsyslog.conf.in
"$velkhost" check "$scratch/moved/share/velkconf/examples/demo.xml" >"$scratch/check.out" 2>&1
check "it checks a policy against the installed schema" test $? = 0
mv "$scratch/moved/share/velkconf/schemas" "$scratch/schemas.away"
"$velkhost" check "$scratch/moved/share/velkconf/examples/demo.xml" >"$scratch/noschema.out" 2>&1
check "and no other schema: a missing schema exits 3" test $? = 3
check "naming the schema it looked for" contains "$scratch/noschema.out" "$scratch/moved/share/velkconf/schemas/velk.xsd"
"$velkhost" info --plugin /no/such/libvelkconf.so >"$scratch/plugin.out" 2>&1
check "--plugin is the only other place" contains "$scratch/plugin.out" "cannot load /no/such/libvelkconf.so"

umount "$VELK_BINARY_DIR"
rm -rf "$scratch"
finish
