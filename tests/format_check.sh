#!/bin/bash
# Fails when a C++ file of the tree is not laid out as .clang-format says,
# naming each such file and the first lines that differ.
set -euo pipefail
cd "${VELK_SOURCE_DIR:-$(dirname "$0")/..}"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -name 'build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
echo "checking the layout of ${#files[@]} files with $(clang-format --version)"
clang-format --dry-run --Werror "${files[@]}"
