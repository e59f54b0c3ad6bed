#!/bin/bash
# run_fuzzers.sh [SECONDS [RUNS]]
# Builds the fuzz targets with clang's libFuzzer (ASan + UBSan) in
# build-fuzz/ and runs each for SECONDS (default 60).  The checked-in corpus
# in fuzz/corpus/<target>/ seeds each run and is only read; what a run
# finds goes to build-fuzz/corpus/<target>/, and a crashing input to
# build-fuzz/crash-<target>-*.
set -uo pipefail

seconds=${1:-60}
runs=${2:--1}  # stop after this many executions (-1: only the time limit)
# Further libFuzzer flags, e.g. VELK_FUZZ_FLAGS=-max_len=256.
read -r -a extra <<<"${VELK_FUZZ_FLAGS:-}"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELK_FUZZ_BUILD:-$root/build-fuzz}
# Every target has its checked-in corpus: by default, all of them.
targets=(${VELK_FUZZ_TARGETS:-$(cd "$root/fuzz/corpus" && echo *)})

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVELK_FUZZ=ON -DVELK_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_targets

status=0
for target in "${targets[@]}"; do
  echo "== $target: ${seconds}s"
  mkdir -p "$build/corpus/$target" "$build/logs"
  # The generator writes /etc: it runs in the sandbox.
  runner=()
  [[ $target == policy_generator_fuzz ]] && runner=("$root/tools/sandbox")
  # The whole run, final statistics included, is kept in build-fuzz/logs/.
  if ! "${runner[@]}" "$build/fuzz/$target" -max_total_time="$seconds" -runs="$runs" \
      -print_final_stats=1 -artifact_prefix="$build/crash-$target-" "${extra[@]}" \
      "$build/corpus/$target" "$root/fuzz/corpus/$target" 2>&1 |
      tee "$build/logs/$target.log" | grep -E '^(stat::|==|INFO: (Seed|Running))|ERROR|SUMMARY'; then
    echo "== $target FAILED" >&2
    status=1
  fi
done
exit $status
