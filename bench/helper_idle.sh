#!/bin/sh
# The helper's cost while nobody talks to it: resident memory and CPU time
# over a quiet period, with the jail monitor ticking.
#   bench/helper_idle.sh HELPER_BINARY [SECONDS]
set -eu
helper=${1:?usage: helper_idle.sh HELPER_BINARY [SECONDS]}
seconds=${2:-30}
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
KORVANE_HELPER_SOCKET="$dir/helper.sock" "$helper" 2>"$dir/log" &
pid=$!
sleep 2
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
threads=$(awk '/^Threads/ { print $2 }' "/proc/$pid/status")
echo "helper idle: RSS ${rss} kB, ${threads} threads, CPU $(( (after - before) * 1000 / hz )) ms over ${seconds} s"
