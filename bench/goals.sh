#!/bin/sh
# The helper's speed and memory goals, measured in one run and printed side
# by side: medians of the throttle benchmark, the jail tick steady and when
# 500 processes are new, and the idle helper's resident memory with a jail
# list. Run from a build folder of an optimised build (RelWithDebInfo).
#   bench/goals.sh BUILD_FOLDER
set -eu
build=${1:?usage: goals.sh BUILD_FOLDER}
here=$(dirname "$0")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$build/bench/bench_taskpolicy" >"$out/taskpolicy" 2>/dev/null
"$build/bench/bench_jail_scan" --benchmark_filter='JailTick' >"$out/jail" 2>/dev/null
sh "$here/helper_idle.sh" "$build/helper/com.korvane.helper" 12 "$build/tools/korvanectl/korvanectl" >"$out/idle"

summary=$(grep '^throttle + release' "$out/taskpolicy")
cpu=$(echo "$summary" | sed -n 's/.*(CPU \([0-9.]*\) ms).*/\1/p')
ratio=$(echo "$summary" | sed -n 's/.*, in-process \([0-9]*\)x faster.*/\1/p')
floor=$(sed -n "s/^the kernel's floor for the same work: CPU \([0-9.]*\) ms.*/\1/p" "$out/taskpolicy")
steady=$(awk '/^BM_JailTick\/process_time/ { print $4 }' "$out/jail")
fresh=$(awk '/^BM_JailTickWhenAllAreNew/ { print $4 }' "$out/jail")
rss=$(sed -n 's/.*RSS \([0-9]*\) kB.*/\1/p' "$out/idle")

printf '%-66s %14s %10s\n' "What" "This run" "Goal"
printf '%-66s %11s ms %10s\n' "Throttle+release 200 processes x 4 threads, CPU, warm (median)" "$cpu" "<= 3.5 ms"
printf '%-66s %11s ms %10s\n' "  the kernel's floor for the same work, no checks (median)" "$floor" ""
printf '%-66s %13sx %10s\n' "Same, against spawning the tool once per pid (medians)" "$ratio" ">= 100x"
printf '%-66s %11s ms %10s\n' "Jail tick over 500 processes, steady (CPU)" "$steady" "<= 1.5 ms"
printf '%-66s %11s ms %10s\n' "Jail tick when 500 new processes appear (CPU)" "$fresh" "<= 10 ms"
printf '%-66s %10s KiB %10s\n' "Helper idle RSS with a jail list" "$rss" "<= 4 MiB"
