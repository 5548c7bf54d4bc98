#!/bin/sh
# The helper's cost while nobody talks to it: resident memory and CPU time
# over a quiet period. With KORVANECTL, a jail list is set first, so the
# jail monitor scans the process table on every tick.
#   bench/helper_idle.sh HELPER_BINARY [SECONDS [KORVANECTL]]
set -eu
helper=${1:?usage: helper_idle.sh HELPER_BINARY [SECONDS [KORVANECTL]]}
seconds=${2:-30}
ctl=${3:-}
dir=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
KORVANE_HELPER_SOCKET="$dir/helper.sock" "$helper" 2>"$dir/log" &
pid=$!
sleep 2
if [ -n "$ctl" ]; then
    "$ctl" --socket "$dir/helper.sock" jail org.example.Idle >/dev/null
fi
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$seconds"
after=$(ticks)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
threads=$(awk '/^Threads/ { print $2 }' "/proc/$pid/status")
echo "helper idle${ctl:+ (jailing)}: RSS ${rss} kB, ${threads} threads, CPU $(( (after - before) * 1000 / hz )) ms over ${seconds} s"
