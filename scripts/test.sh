#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice: once
# with warnings as errors, once under AddressSanitizer and
# UndefinedBehaviorSanitizer; then builds the Release packages with warnings
# as errors and checks them with lintian. Then fuzzes the message decoder for
# a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# The three builds and the compiler cache take several gigabytes; a full disk
# otherwise shows up as one "No space left on device" deep in the build log.
needed_gib=6
free_gib=$(df -P -BG . | awk 'NR == 2 { sub("G", "", $4); print $4 }')
if (( free_gib < needed_gib )); then
  echo "scripts/test.sh: only ${free_gib} GiB free here; a run from scratch needs about ${needed_gib} GiB (less when build/ already holds earlier builds)." >&2
fi

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
echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/sanitize -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_BENCH=OFF

# The optimiser inlines more and so warns of more than a Debug build does:
# the packages' programs are built with warnings as errors here.
echo "== Build the Release packages (warnings are errors) and check them with lintian =="
KORVANE_WERROR=ON scripts/package.sh

echo "== Fuzz the message decoder =="
scripts/fuzz.sh "${KORVANE_FUZZ_SECONDS:-60}"
