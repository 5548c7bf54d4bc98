#!/usr/bin/env bash
# Builds the Release packages in build/package: the Debian package with its
# -dbgsym package beside it, and the RPM. Then checks the Debian packages
# with lintian, which must print nothing (no error, no warning).
# usage: scripts/package.sh [PREFIX]   (PREFIX defaults to /usr)
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-/usr}
dir=build/package

scripts/install-deps.sh
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER-ccache} CCACHE_BASEDIR="$PWD"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/*.deb "$dir"/*.ddeb "$dir"/*.rpm
(cd "$dir" && cpack -G "DEB;RPM" >/dev/null)
ls -1 "$dir"/*.deb "$dir"/*.ddeb "$dir"/*.rpm

# lintian warns when run as root, which CI and containers do; that line is
# not about the package.
report=$(lintian "$dir"/korvane_*.deb "$dir"/korvane-dbgsym_*.ddeb 2>&1 | grep -vx 'running with root privileges is not recommended!' || true)
if [ -n "$report" ]; then
  printf 'lintian:\n%s\n' "$report"
  exit 1
fi
echo "lintian: no errors, no warnings"
