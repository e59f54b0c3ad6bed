#!/bin/bash
# Installs the built tree and builds a host against it: with CMake's
# find_package, and with plain pkg-config both after an install to a fresh
# prefix and after a DESTDIR staging (the way packages are built).
set -euo pipefail

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
here=$VELK_SOURCE_DIR/tests/consumer

# pc_consumer NAME PKG_CONFIG_DIR: builds and runs the consumer with the
# flags pkg-config gives, nothing else.
pc_consumer() {
  local flags libdir
  flags=$(PKG_CONFIG_PATH=$2 pkg-config --cflags --libs velkconf)
  libdir=$(PKG_CONFIG_PATH=$2 pkg-config --variable=libdir velkconf)
  # shellcheck disable=SC2086
  g++ -std=c++17 -Wall -Wextra -Werror "$here/consumer.cpp" "$here/header_alone.cpp" \
    $flags -Wl,-rpath,"$libdir" -o "$scratch/$1"
  "$scratch/$1"
  # Linked by the versioned name, through the development link.
  readelf -d "$scratch/$1" | grep -q 'NEEDED.*\[libvelkconf\.so\.1\]'
}

prefix=$scratch/prefix
cmake --install "$VELK_BINARY_DIR" --prefix "$prefix" >/dev/null
pc_dir=$(dirname "$(find "$prefix" -name velkconf.pc)")

echo "== find_package(velkconf)"
cmake -S "$here" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$prefix/lib" >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null
"$scratch/cmake-build/consumer"

echo "== pkg-config velkconf, installed to $prefix"
pc_consumer pc-consumer "$pc_dir"

echo "== pkg-config velkconf, staged with DESTDIR"
DESTDIR=$scratch/stage cmake --install "$VELK_BINARY_DIR" --prefix /usr >/dev/null
pc_consumer staged-consumer "$scratch/stage/usr/${pc_dir#"$prefix"/}"
