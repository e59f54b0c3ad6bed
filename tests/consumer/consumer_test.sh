#!/bin/bash
# Installs the built tree into a scratch prefix and builds a host against it
# twice: with CMake's find_package and with pkg-config.
set -euo pipefail

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$VELK_BINARY_DIR" --prefix "$prefix" >/dev/null

here=$VELK_SOURCE_DIR/tests/consumer
echo "== find_package(velkconf)"
cmake -S "$here" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$prefix/lib" >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null
"$scratch/cmake-build/consumer"

echo "== pkg-config velkconf"
pc_dir=$(dirname "$(find "$prefix" -name velkconf.pc | head -1)")
export PKG_CONFIG_PATH=$pc_dir
flags=$(pkg-config --define-variable=prefix="$prefix" --cflags --libs velkconf)
libdir=$(pkg-config --define-variable=prefix="$prefix" --variable=libdir velkconf)
# shellcheck disable=SC2086
g++ -std=c++17 -Wall -Wextra -Werror "$here/consumer.cpp" "$here/header_alone.cpp" \
  $flags -Wl,-rpath,"$libdir" -o "$scratch/pc-consumer"
"$scratch/pc-consumer"
