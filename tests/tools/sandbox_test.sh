#!/bin/bash
# tools/sandbox keeps a command's writes inside, relative paths included:
# started from a directory under /tmp or /var, a command that writes a
# relative path leaves nothing in the machine's own directory.
set -euo pipefail

sandbox=$VELK_SOURCE_DIR/tools/sandbox
dirs=()
trap 'rm -rf "${dirs[@]}"' EXIT
for parent in /tmp /var/tmp; do
  dir=$(mktemp -d "$parent/velk-sandbox-test.XXXXXX")
  dirs+=("$dir")
  (cd "$dir" && "$sandbox" sh -c \
    'echo inside >written && mkdir made && echo inside >made/file && test "$(cat "$PWD/written")" = inside')
  leaked=$(cd "$dir" && find . -mindepth 1)
  if [[ -n $leaked ]]; then
    echo "FAIL: a sandboxed command started in $dir wrote outside the sandbox:" $leaked
    exit 1
  fi
  echo "ok: $parent"
done
