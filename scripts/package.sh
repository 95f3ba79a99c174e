#!/usr/bin/env bash
# Builds the Debian packages libovra-player0, libovra-player-dev and
# ovra-tools into build/package (a release build with debug information,
# stripped in the packages), and lists what each holds and needs.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=build/package
cmake -S . -B "$build" -G Ninja -D CMAKE_BUILD_TYPE=RelWithDebInfo -D CMAKE_INSTALL_PREFIX=/usr \
  -D OVRA_BUILD_TESTS=OFF -D OVRA_BUILD_EXAMPLES=OFF -D OVRA_BUILD_BENCHMARKS=OFF -D OVRA_BUILD_TOOLS=ON >/dev/null
cmake --build "$build"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
for deb in "$build"/*.deb; do
  echo "=== $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Depends
  dpkg-deb --contents "$deb" | awk '{print "  " $6 $7 $8}'
done
