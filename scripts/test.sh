#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice: once
# with warnings as errors, once under AddressSanitizer and
# UndefinedBehaviorSanitizer; builds the optimised programs with warnings as
# errors, then the Release packages, and checks them with lintian. Then fuzzes
# the message decoder for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
# Rebuilds reuse earlier compilations; paths are taken relative to the checkout
# so another clone of the same sources hits the same cache.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD"
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

echo "== Build and test (warnings are errors) =="
run_suite build/test
# The optimiser inlines more and so warns of more than a Debug build does:
# the programs as scripts/start.sh and the package build them, warnings as
# errors, without the tests (the suites above run them).
echo "== Build the optimised programs (warnings are errors) =="
cmake -S . -B build/release-werror -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_WERROR=ON \
  -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/release-werror -j "$jobs"
echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/sanitize -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCH=OFF

echo "== Build the Release packages and check them with lintian =="
scripts/package.sh

echo "== Fuzz the message decoder =="
scripts/fuzz.sh "${KORVANE_FUZZ_SECONDS:-60}"
