#!/usr/bin/env bash
# Builds the Debian packages of the build tree, checks them with lintian,
# unpacks them into a temporary root and builds and runs a consumer (through
# find_package and through pkg-config) and the kvpal tool against it.
set -euo pipefail
build=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
debs=("$work"/packages/*.deb)
names=$(for d in "${debs[@]}"; do dpkg-deb -f "$d" Package; done | sort | tr '\n' ' ')
[ "$names" = "kvpal-tools libkvpal-dev libkvpal0 " ] || { echo "packages made: $names"; exit 1; }
lintian --fail-on error "${debs[@]}"

deb() { ls "$work"/packages/"$1"_*.deb; }
# The runtime dependencies were computed from the binaries.
depends=$(dpkg-deb -f "$(deb libkvpal0)" Depends)
for lib in libc6 libstdc++6 libsqlite3-0 libicu; do
  [[ $depends == *"$lib"* ]] || { echo "libkvpal0 does not depend on $lib: $depends"; exit 1; }
done
# Files land in the package they belong to.
contents() { dpkg-deb -c "$(deb "$1")" | awk '{print $6}'; }
contents libkvpal0 | grep -q '/libKvPal\.so\.0$' || { echo "libkvpal0 lacks libKvPal.so.0"; exit 1; }
contents libkvpal0 | grep -q '/share/kvpal/Halvex-Tessaran\.man$' || { echo "libkvpal0 lacks the manifest"; exit 1; }
contents libkvpal-dev | grep -q '/libKvPal\.so$' || { echo "libkvpal-dev lacks the link"; exit 1; }
contents libkvpal-dev | grep -q '/cmake/KvPal/KvPalConfig\.cmake$' || { echo "libkvpal-dev lacks the package"; exit 1; }
contents kvpal-tools | grep -q '/bin/kvpal$' || { echo "kvpal-tools lacks kvpal"; exit 1; }

root=$work/root
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$root"; done
libdir=$(dirname "$(find "$root" -name 'libKvPal.so.0' | head -1)")
cmake -S "$src" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/consumer/consumer"
pc=$(dirname "$(find "$root" -name kvpal.pc)")
c++ -std=c++20 -Wall -Wextra -Werror "$src/main.cpp" -o "$work/pc-consumer" \
  $(PKG_CONFIG_PATH="$pc" pkg-config --cflags --libs kvpal)
LD_LIBRARY_PATH="$libdir" "$work/pc-consumer"
LD_LIBRARY_PATH="$libdir" "$root/usr/bin/kvpal" info >/dev/null
