#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds and runs a
# consumer through find_package(KvPal) and one through pkg-config.
set -euo pipefail
build=$1 src=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S "$src" -B "$prefix/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
LD_LIBRARY_PATH="$prefix/lib" "$prefix/consumer/consumer"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" c++ -std=c++20 -Wall -Wextra -Werror "$src/main.cpp" -o "$prefix/pc-consumer" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs kvpal)
LD_LIBRARY_PATH="$prefix/lib" "$prefix/pc-consumer"
